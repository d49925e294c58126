// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class PasteboardContents;

// The general pasteboard: a change count that grows on every change seen or made, reads that never
// block the caller, and typed writes. Writing follows the clear-then-write model: clearContents()
// starts a new content (the count moves by exactly one) and the set calls that follow add
// representations to that content without moving the count again.
class Pasteboard {
public:
    enum class Type { String, RTF, HTML, TIFF, PNG, FileURL };

    virtual ~Pasteboard() = default;

    // The process-wide pasteboard. The real one is created on first use; tests install another.
    static Pasteboard& general();
    static void setGeneral(std::unique_ptr<Pasteboard> pasteboard);

    virtual qint64 changeCount() = 0;

    // Runs work off the calling thread with what is on the pasteboard when it runs. Works run one
    // after another, in the order they were asked for; each may block on the owner within one time
    // budget for all the formats it reads.
    virtual void readContents(std::function<void(PasteboardContents&)> work) = 0;

    // Called on the main thread after another client changed the pasteboard (the count has moved).
    void setChangeHandler(std::function<void()> handler) { m_changeHandler = std::move(handler); }

    virtual qint64 clearContents() = 0;
    virtual void setData(Type type, const QByteArray& data) = 0;
    virtual void setString(const QString& text) = 0;
    virtual void setURLs(const QList<QUrl>& urls) = 0;
    // A format named by its MIME type as another program offered it (its own document format).
    virtual void setFormat(const QString& mime, const QByteArray& data) = 0;
    // A representation whose bytes are made only when a reader asks for them (an encoding too slow
    // to make on every write). This default makes them at once.
    virtual void setDataProvider(Type type, std::function<QByteArray()> make) { setData(type, make()); }

    // Whether the last write since clearContents() really put the content on the pasteboard (another
    // client may hold it after a write the system refused).
    virtual bool lastWriteSucceeded() { return true; }

protected:
    void notifyChanged() {
        if (m_changeHandler)
            m_changeHandler();
    }

private:
    std::function<void()> m_changeHandler;
};

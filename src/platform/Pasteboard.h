// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

#include <memory>
#include <optional>

// The general pasteboard: a change count that grows on every change seen or made, and typed reads
// and writes. Writing follows the clear-then-write model: clearContents() starts a new content (the
// count moves by exactly one) and the set calls that follow add representations to that content
// without moving the count again.
class Pasteboard {
public:
    enum class Type { String, RTF, TIFF, PNG, FileURL };

    virtual ~Pasteboard() = default;

    // The process-wide pasteboard. The real one is created on first use; tests install another.
    static Pasteboard& general();
    static void setGeneral(std::unique_ptr<Pasteboard> pasteboard);

    virtual qint64 changeCount() = 0;
    virtual QList<Type> types() = 0;
    // Bytes of one type (PNG also answers with any other decodable image/* when no PNG is offered).
    virtual std::optional<QByteArray> data(Type type) = 0;
    virtual std::optional<QString> string() = 0;
    // The URLs offered as a URI list, in order; empty when there are none.
    virtual QList<QUrl> urls() = 0;

    virtual qint64 clearContents() = 0;
    virtual void setData(Type type, const QByteArray& data) = 0;
    virtual void setString(const QString& text) = 0;
    virtual void setURLs(const QList<QUrl>& urls) = 0;
    // A representation whose bytes are made only when a reader asks for them (an encoding too slow
    // to make on every write). This default makes them at once.
    virtual void setDataProvider(Type type, std::function<QByteArray()> make) { setData(type, make()); }

    static QString typeName(Type type);
};

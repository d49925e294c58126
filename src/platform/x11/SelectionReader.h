// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

struct xcb_connection_t;

// Reads the CLIPBOARD selection over an X connection of its own, so that the thread using it can
// wait on the owner while the main thread goes on. One reader serves one thread at a time; only
// cancel() may be called from elsewhere. Every wait ends at the deadline given to begin(), which is
// the time budget of one change for all its formats together.
class SelectionReader {
public:
    using Clock = std::chrono::steady_clock;

    SelectionReader();
    ~SelectionReader();
    SelectionReader(const SelectionReader&) = delete;
    SelectionReader& operator=(const SelectionReader&) = delete;

    // Starts one change: notes the owner and asks it for its targets. False when there is no owner,
    // no connection, or no answer before the deadline.
    bool begin(Clock::time_point deadline);
    // The targets offered, without the protocol's pseudo-targets.
    const QStringList& targets() const { return m_targets; }
    // One target's bytes; none when refused, unanswered before the deadline or larger than maxBytes.
    std::optional<QByteArray> read(const QString& target);
    // Whether another owner took the selection before one of the reads since begin(); such a read
    // answers none, since its bytes would be the newer owner's.
    bool ownerChanged() const { return m_ownerChanged; }
    // Makes every wait return at once, now and later (thread-safe).
    void cancel() { m_cancelled = true; }

    static constexpr qint64 maxBytes = 256LL * 1024 * 1024;

private:
    bool connect();
    uint32_t atom(const QString& name);
    QString atomName(uint32_t atom);
    std::optional<QByteArray> convert(uint32_t target);
    std::optional<QByteArray> readIncrementally();
    // Waits for an event that accept() takes; false at the deadline, on cancel or a broken connection.
    template <typename Accept> bool waitFor(Accept accept);

    xcb_connection_t* m_c = nullptr;
    uint32_t m_window = 0;
    uint32_t m_owner = 0;
    bool m_ownerChanged = false;
    uint32_t m_clipboard = 0, m_targetsAtom = 0, m_incr = 0, m_property = 0;
    QHash<QString, uint32_t> m_atoms;
    QHash<uint32_t, QString> m_names;
    QStringList m_targets;
    Clock::time_point m_deadline;
    std::atomic<bool> m_cancelled{false};
};

// SPDX-License-Identifier: MIT
#include "history/store/RegexCache.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>

namespace RegexCache {

bool matchesWhole(const QString& pattern, const QString& text) {
    static QMutex mutex;
    static QHash<QString, QRegularExpression> cache;
    QRegularExpression re;
    {
        QMutexLocker lock(&mutex);
        auto it = cache.find(pattern);
        if (it == cache.end()) {
            if (cache.size() > 64)
                cache.clear();
            QRegularExpression compiled(QRegularExpression::anchoredPattern(pattern),
                                        QRegularExpression::UseUnicodePropertiesOption);
            compiled.optimize();
            it = cache.insert(pattern, compiled);
        }
        re = *it;
    }
    if (!re.isValid())
        return false;
    return re.match(text).hasMatch();
}

} // namespace RegexCache

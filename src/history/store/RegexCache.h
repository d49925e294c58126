// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Whole-text regular-expression matching (the MATCHES of predicates): the pattern must match the
// entire text, with Unicode-aware classes (\s also matches non-ASCII white space). Compiled
// patterns are cached; safe from any thread. An invalid pattern matches nothing.
namespace RegexCache {

bool matchesWhole(const QString& pattern, const QString& text);

} // namespace RegexCache

// SPDX-License-Identifier: MIT
// Fetch predicates as SQL conditions over the store's tables.
#include "history/store/StoreInternals.h"
#include "history/store/TextFolding.h"

namespace StoreInternals {

namespace {

// A CONTAINS[cd] test on text and preview with the same needle reads the search table once. A page
// tests entries one by one in timestamp order and stops when it is full (a broad needle: a few rows
// read); without a limit every entry is tested anyway, and one pass over the search table is cheaper.
bool compileTextOrPreview(const QString& needle, const CompileContext& cc, QByteArray& sql, QVariantList& binds) {
    const QString folded = TextFolding::fold(needle);
    if (cc.paged)
        sql += "EXISTS (SELECT 1 FROM ClipboardItemSearch s WHERE s.pk = ClipboardItem.pk AND "
               "(tl_contains2(s.textFolded, s.previewFolded, ?)";
    else
        sql += "pk IN (SELECT pk FROM ClipboardItemSearch s WHERE (tl_contains2(s.textFolded, s.previewFolded, ?)";
    binds << folded;
    sql += " OR (s.previewInText = 3 AND tl_contains_folding((SELECT textContent FROM ClipboardItem t WHERE t.pk = "
           "s.pk), ?))";
    binds << folded;
    if (folded.size() > kPreviewTail && folded.contains(QLatin1Char('.'))) {
        sql += " OR (s.previewInText = 2 AND s.pk IN (SELECT pk FROM ClipboardItem WHERE tl_contains(tl_fold(preview), "
               "?)))";
        binds << folded;
    }
    sql += "))";
    return true;
}

bool compileContains(const Predicate& pred, const CompileContext& cc, QByteArray& sql, QVariantList& binds) {
    const QString needle = TextFolding::fold(pred.string());
    switch (pred.field()) {
    case Predicate::Field::TextContent:
        sql += "pk IN (SELECT pk FROM ClipboardItemSearch s WHERE tl_contains(s.textFolded, ?) OR (s.previewInText = 3 "
               "AND tl_contains_folding((SELECT textContent FROM ClipboardItem t WHERE t.pk = s.pk), ?)))";
        binds << needle << needle;
        return true;
    case Predicate::Field::Preview:
        // The search table leaves out previews that are part of their text, so a test of the
        // preview alone (never made by the application's search) folds the stored preview itself.
        sql += "tl_contains(tl_fold(preview), ?)";
        binds << needle;
        return true;
    case Predicate::Field::Type: {
        // Few distinct types exist; the matching ones are listed so the type index answers.
        QStringList matching;
        if (cc.knownTypes)
            for (const QString& t : *cc.knownTypes)
                if (TextFolding::containsFolded(TextFolding::fold(t), needle))
                    matching << t;
        if (matching.isEmpty()) {
            sql += "0";
            return true;
        }
        sql += "type IN (";
        for (int i = 0; i < matching.size(); ++i) {
            sql += i ? ", ?" : "?";
            binds << matching[i];
        }
        sql += ")";
        return true;
    }
    case Predicate::Field::SourceAppName:
        sql += "sourceApp IN (SELECT pk FROM SourceApp WHERE tl_contains(appNameFolded, ?))";
        binds << needle;
        return true;
    }
    return false;
}

} // namespace

bool compile(const Predicate& pred, const CompileContext& cc, QByteArray& sql, QVariantList& binds) {
    using K = Predicate::Kind;
    switch (pred.kind()) {
    case K::And:
    case K::Or: {
        if (pred.parts().empty()) {
            sql += pred.kind() == K::And ? "1" : "0";
            return true;
        }
        std::vector<const Predicate*> parts;
        for (const Predicate& part : pred.parts())
            parts.push_back(&part);
        // Constant terms are left out: a literal in an OR keeps SQLite from answering the other
        // terms through their indexes.
        const QByteArray neutral = pred.kind() == K::And ? "1" : "0";
        QList<QByteArray> terms;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (!parts[i])
                continue;
            QByteArray term;
            const Predicate& part = *parts[i];
            if (cc.forItems && pred.kind() == K::Or && part.kind() == K::ContainsCD &&
                (part.field() == Predicate::Field::TextContent || part.field() == Predicate::Field::Preview)) {
                const auto other = part.field() == Predicate::Field::TextContent ? Predicate::Field::Preview
                                                                                 : Predicate::Field::TextContent;
                auto partner = std::find_if(parts.begin() + i + 1, parts.end(), [&](const Predicate* q) {
                    return q && q->kind() == K::ContainsCD && q->field() == other && q->string() == part.string();
                });
                if (partner != parts.end()) {
                    *partner = nullptr;
                    compileTextOrPreview(part.string(), cc, term, binds);
                    terms << term;
                    continue;
                }
            }
            const qsizetype bindsBefore = binds.size();
            if (!compile(part, cc, term, binds))
                return false;
            if (term == neutral && binds.size() == bindsBefore)
                continue;
            terms << term;
        }
        if (terms.isEmpty()) {
            sql += neutral;
            return true;
        }
        sql += "(" + terms.join(pred.kind() == K::And ? " AND " : " OR ") + ")";
        return true;
    }
    case K::BundleIdEquals:
        if (cc.forItems)
            return false;
        sql += "bundleId = ?";
        binds << pred.string();
        return true;
    default:
        break;
    }
    if (!cc.forItems)
        return false;
    switch (pred.kind()) {
    case K::TypeEquals:
        sql += "type = ?";
        binds << pred.string();
        return true;
    case K::TypeIn: {
        if (pred.strings().isEmpty()) {
            sql += "0";
            return true;
        }
        // Unary plus: the planner should walk an ordered index (the colour index) rather than the
        // type index, which would need a sort of every entry of those types.
        sql += "+type IN (";
        for (int i = 0; i < pred.strings().size(); ++i) {
            sql += i ? ", ?" : "?";
            binds << pred.strings()[i];
        }
        sql += ")";
        return true;
    }
    case K::IsFavorite:
        sql += "isFavorite = 1";
        return true;
    case K::IsNotFavorite:
        sql += "isFavorite IS NOT 1";
        return true;
    case K::TimestampBefore:
        if (!pred.date().isValid())
            return false;
        sql += "timestamp < ?";
        binds << toSeconds(pred.date());
        return true;
    case K::IsColor:
        // Kept as a derived column with its own index.
        sql += "isColor = 1";
        return true;
    case K::TextMatches:
        sql += "tl_regexp(?, textContent)";
        binds << pred.string();
        return true;
    case K::ContainsCD:
        return compileContains(pred, cc, sql, binds);
    default:
        return false;
    }
}

} // namespace StoreInternals

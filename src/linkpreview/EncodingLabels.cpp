// SPDX-License-Identifier: MIT
#include "linkpreview/EncodingLabels.h"

#include <initializer_list>

namespace {

struct Encoding {
    const char* decoder;
    std::initializer_list<const char16_t*> labels;
};

// The label table of the encoding standard browsers follow, with decoder names that mean the same
// to ICU (its "EUC-KR" is the narrower standard, its "windows-949" the one browsers mean).
const Encoding kEncodings[] = {
    {"UTF-8", {u"unicode-1-1-utf-8", u"unicode11utf8", u"unicode20utf8", u"utf-8", u"utf8", u"x-unicode20utf8"}},
    {"IBM866", {u"866", u"cp866", u"csibm866", u"ibm866"}},
    {"ISO-8859-2",
     {u"csisolatin2", u"iso-8859-2", u"iso-ir-101", u"iso8859-2", u"iso88592", u"iso_8859-2", u"iso_8859-2:1987", u"l2",
      u"latin2"}},
    {"ISO-8859-3",
     {u"csisolatin3", u"iso-8859-3", u"iso-ir-109", u"iso8859-3", u"iso88593", u"iso_8859-3", u"iso_8859-3:1988", u"l3",
      u"latin3"}},
    {"ISO-8859-4",
     {u"csisolatin4", u"iso-8859-4", u"iso-ir-110", u"iso8859-4", u"iso88594", u"iso_8859-4", u"iso_8859-4:1988", u"l4",
      u"latin4"}},
    {"ISO-8859-5",
     {u"csisolatincyrillic", u"cyrillic", u"iso-8859-5", u"iso-ir-144", u"iso8859-5", u"iso88595", u"iso_8859-5",
      u"iso_8859-5:1988"}},
    {"ISO-8859-6",
     {u"arabic", u"asmo-708", u"csiso88596e", u"csiso88596i", u"csisolatinarabic", u"ecma-114", u"iso-8859-6",
      u"iso-8859-6-e", u"iso-8859-6-i", u"iso-ir-127", u"iso8859-6", u"iso88596", u"iso_8859-6", u"iso_8859-6:1987"}},
    {"ISO-8859-7",
     {u"csisolatingreek", u"ecma-118", u"elot_928", u"greek", u"greek8", u"iso-8859-7", u"iso-ir-126", u"iso8859-7",
      u"iso88597", u"iso_8859-7", u"iso_8859-7:1987", u"sun_eu_greek"}},
    {"ISO-8859-8",
     {u"csiso88598e", u"csisolatinhebrew", u"hebrew", u"iso-8859-8", u"iso-8859-8-e", u"iso-ir-138", u"iso8859-8",
      u"iso88598", u"iso_8859-8", u"iso_8859-8:1988", u"visual", u"csiso88598i", u"iso-8859-8-i", u"logical"}},
    {"ISO-8859-10", {u"csisolatin6", u"iso-8859-10", u"iso-ir-157", u"iso8859-10", u"iso885910", u"l6", u"latin6"}},
    {"ISO-8859-13", {u"iso-8859-13", u"iso8859-13", u"iso885913"}},
    {"ISO-8859-14", {u"iso-8859-14", u"iso8859-14", u"iso885914"}},
    {"ISO-8859-15", {u"csisolatin9", u"iso-8859-15", u"iso8859-15", u"iso885915", u"iso_8859-15", u"l9"}},
    {"KOI8-R", {u"cskoi8r", u"koi", u"koi8", u"koi8-r", u"koi8_r"}},
    {"KOI8-U", {u"koi8-ru", u"koi8-u"}},
    {"macintosh", {u"csmacintosh", u"mac", u"macintosh", u"x-mac-roman"}},
    {"windows-874", {u"dos-874", u"iso-8859-11", u"iso8859-11", u"iso885911", u"tis-620", u"windows-874"}},
    {"windows-1250", {u"cp1250", u"windows-1250", u"x-cp1250"}},
    {"windows-1251", {u"cp1251", u"windows-1251", u"x-cp1251"}},
    {"windows-1252",
     {u"ansi_x3.4-1968", u"ascii", u"cp1252", u"cp819", u"csisolatin1", u"ibm819", u"iso-8859-1", u"iso-ir-100",
      u"iso8859-1", u"iso88591", u"iso_8859-1", u"iso_8859-1:1987", u"l1", u"latin1", u"latin-1", u"us-ascii",
      u"windows-1252", u"x-cp1252"}},
    {"windows-1253", {u"cp1253", u"windows-1253", u"x-cp1253"}},
    {"windows-1254",
     {u"cp1254", u"csisolatin5", u"iso-8859-9", u"iso-ir-148", u"iso8859-9", u"iso88599", u"iso_8859-9",
      u"iso_8859-9:1989", u"l5", u"latin5", u"windows-1254", u"x-cp1254"}},
    {"windows-1255", {u"cp1255", u"windows-1255", u"x-cp1255"}},
    {"windows-1256", {u"cp1256", u"windows-1256", u"x-cp1256"}},
    {"windows-1257", {u"cp1257", u"windows-1257", u"x-cp1257"}},
    {"windows-1258", {u"cp1258", u"windows-1258", u"x-cp1258"}},
    {"x-mac-cyrillic", {u"x-mac-cyrillic", u"x-mac-ukrainian"}},
    {"GBK",
     {u"chinese", u"csgb2312", u"csiso58gb231280", u"gb2312", u"gb-2312", u"gb_2312", u"gb_2312-80", u"gbk",
      u"iso-ir-58", u"x-gbk"}},
    {"GB18030", {u"gb18030", u"gb-18030"}},
    {"Big5-HKSCS", {u"big5", u"big5-hkscs", u"cn-big5", u"csbig5", u"x-x-big5"}},
    {"EUC-JP", {u"cseucpkdfmtjapanese", u"euc-jp", u"x-euc-jp"}},
    {"ISO-2022-JP", {u"csiso2022jp", u"iso-2022-jp"}},
    {"Shift_JIS",
     {u"csshiftjis", u"ms932", u"ms_kanji", u"shift-jis", u"shift_jis", u"sjis", u"windows-31j", u"x-sjis"}},
    {"windows-949",
     {u"cseuckr", u"csksc56011987", u"euc-kr", u"iso-ir-149", u"korean", u"ks_c_5601-1987", u"ks_c_5601-1989",
      u"ksc5601", u"ksc_5601", u"windows-949", u"cp949"}},
    {"UTF-16BE", {u"unicodefffe", u"utf-16be"}},
    {"UTF-16LE", {u"csunicode", u"iso-10646-ucs-2", u"ucs-2", u"unicode", u"unicodefeff", u"utf-16", u"utf-16le"}},
};

} // namespace

namespace EncodingLabels {

std::optional<QByteArray> encodingForLabel(QStringView label) {
    for (const Encoding& encoding : kEncodings) {
        for (const char16_t* candidate : encoding.labels) {
            if (label == QStringView(candidate))
                return QByteArray(encoding.decoder);
        }
    }
    return std::nullopt;
}

} // namespace EncodingLabels

// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QStringView>

#include <optional>

// The charset labels browsers know, each with the encoding it means to them (so "iso-8859-1",
// "latin1" and "us-ascii" mean Windows-1252, "tis-620" Windows-874, "ks_c_5601-1987" the Korean
// superset of EUC-KR). The result is a decoder name our converter accepts; none for an unknown
// label and for the labels browsers decode to nothing but a replacement character.
namespace EncodingLabels {

std::optional<QByteArray> encodingForLabel(QStringView lowercaseTrimmedLabel);

} // namespace EncodingLabels

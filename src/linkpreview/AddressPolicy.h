// SPDX-License-Identifier: MIT
#pragma once

#include <QHostAddress>
#include <QStringView>

// Which hosts a link preview may never reach: link-local addresses (where cloud instances serve
// their metadata and credentials) and the known metadata addresses and names. Loopback and private
// networks stay reachable: a user's own intranet pages get previews.
namespace AddressPolicy {

bool isForbiddenAddress(const QHostAddress& address);

// Names that stand for a metadata service whatever they resolve to here.
bool isForbiddenHostName(QStringView host);

} // namespace AddressPolicy

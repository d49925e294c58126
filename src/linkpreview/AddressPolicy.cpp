// SPDX-License-Identifier: MIT
#include "linkpreview/AddressPolicy.h"

namespace {

bool isForbiddenIPv4(quint32 address) {
    const bool linkLocal = (address & 0xFFFF0000u) == 0xA9FE0000u; // 169.254.0.0/16
    const bool alibabaMetadata = address == 0x646464C8u;           // 100.100.100.200
    return linkLocal || alibabaMetadata;
}

} // namespace

namespace AddressPolicy {

bool isForbiddenAddress(const QHostAddress& address) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return isForbiddenIPv4(address.toIPv4Address());
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return true; // nothing we could judge is let through
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    if (bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80) // fe80::/10
        return true;
    static const QHostAddress awsMetadata(QStringLiteral("fd00:ec2::254"));
    if (address.isEqual(awsMetadata, QHostAddress::StrictConversion))
        return true;
    // An IPv4 address written as IPv6 (::ffff:a.b.c.d, or the older ::a.b.c.d, which some stacks
    // still route to the IPv4 address) or reached through NAT64 (64:ff9b::/96).
    static const quint8 mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    static const quint8 compatible[12] = {};
    static const quint8 nat64[12] = {0, 0x64, 0xFF, 0x9B, 0, 0, 0, 0, 0, 0, 0, 0};
    if (std::equal(mapped, mapped + 12, bytes.c) || std::equal(compatible, compatible + 12, bytes.c) ||
        std::equal(nat64, nat64 + 12, bytes.c)) {
        const quint32 v4 = quint32(bytes[12]) << 24 | quint32(bytes[13]) << 16 | quint32(bytes[14]) << 8 | bytes[15];
        return isForbiddenIPv4(v4);
    }
    return false;
}

bool isForbiddenHostName(QStringView host) {
    QString name = host.toString().toLower();
    while (name.endsWith(u'.'))
        name.chop(1);
    return name == u"metadata.google.internal" || name == u"metadata.goog";
}

} // namespace AddressPolicy

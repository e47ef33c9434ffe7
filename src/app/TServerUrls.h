#pragma once

#include <QString>
#include <QUrl>

// The addresses of the board service, all derived from the one ServerAddress setting
// ("https://lessons.school.example", "http://192.168.1.20", "host:8443", ...).
struct TServerUrls
{
    static constexpr int kApiPort = 13208;
    static constexpr int kLiveLinkPort = 13207;
    static QString DefaultAddress() { return QStringLiteral("http://127.0.0.1"); }

    QUrl Api;      // scheme://host:13208, or the port the address names
    QUrl LiveLink; // ws:// or wss:// (matching http or https), host, port 13207, path "/ws/"
    QUrl WebSite;  // the API's origin with the path "/addon_v3/"

    // An address without a scheme means http. One that is not an http or https address of a
    // host gives the default address.
    static TServerUrls FromAddress(const QString& address);
    // Whether FromAddress takes the address as it is.
    static bool IsValidAddress(const QString& address);
};

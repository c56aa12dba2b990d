#pragma once
// HTTPS certificate checking, as both programs see it.

#include <string_view>

namespace orv {

// Configuration key of the switch "Не проверять сертификаты" ("True"/"False", default "False"):
// the console reads it at start and then accepts any server certificate.
inline constexpr std::string_view kNoCertCheckKey = "NoCertCheck";

// A channel row's status when a server's certificate was not accepted (UTF-8; through Ru).
inline constexpr std::string_view kCertificateRefusedText = "Сертификат сервера не принят";

}  // namespace orv

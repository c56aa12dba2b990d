#pragma once
// HTTPS certificate checking, as both programs see it.

#include <string_view>

namespace orv {

// A channel row's status when a server's certificate was not accepted (UTF-8; through Ru).
inline constexpr std::string_view kCertificateRefusedText = "Сертификат сервера не принят";

}  // namespace orv

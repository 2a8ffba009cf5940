#pragma once

#include <QtGlobal>

// The console's factory UDP ports, used whenever the operator asks for the
// defaults and whenever the settings store holds no port yet.
namespace LinkDefaults {
constexpr quint16 defaultUdpSendPort = 19551;
constexpr quint16 defaultUdpRecvPort = 19548;
} // namespace LinkDefaults

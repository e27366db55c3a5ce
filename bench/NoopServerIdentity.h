// Class of the benchmarks' no-op local server (bench_noop_server.exe).
#pragma once

#include <windows.h>

namespace bench {

// {5B0E3C1D-7A42-4D6B-9E1F-2C8A4F60B713}
inline constexpr CLSID CLSID_BenchNoopServer = {
    0x5b0e3c1d, 0x7a42, 0x4d6b, {0x9e, 0x1f, 0x2c, 0x8a, 0x4f, 0x60, 0xb7, 0x13}};

}  // namespace bench

#pragma once
// The product a run or a payload context works for. This setup always works
// for the Client; the Host rows of the shared tables stay reachable in tests.
// Portable: no <windows.h>.

namespace zelkora::core {

enum class Flavour { client, host };

}  // namespace zelkora::core

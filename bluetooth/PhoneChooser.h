#pragma once
// How selectPhone reaches the user: the window implements this with its
// device dialog and a busy indicator; varbuild-cli with a fixed address.

#include <array>
#include <cstdint>
#include <functional>

namespace Brask {

class PhoneChooser {
public:
    // Error codes of chooseDevices, as the selection reports them.
    static constexpr int Cancelled = 1223;
    static constexpr int NoWindow = 1400;

    virtual ~PhoneChooser() = default;

    // Lets the user pick phones. Returns 0 and sets `count` (the number of
    // devices chosen) and `address` (the first one's six bytes, least
    // significant first as the Bluetooth stack keeps them), or returns
    // Cancelled, or another non-zero error code (no Bluetooth, no adapter).
    virtual int chooseDevices(int& count, std::array<std::uint8_t, 6>& address) = 0;

    // Called while the service search runs. `waitFor(ms)` blocks up to `ms`
    // milliseconds and returns true once the search has ended. Returns true
    // when the search ended, false when the user gave up waiting. The window
    // keeps painting between the calls; the console just waits.
    virtual bool waitForSearch(const std::function<bool(int ms)>& waitFor) = 0;
};

} // namespace Brask

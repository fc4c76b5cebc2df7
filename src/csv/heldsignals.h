#pragma once

#include <array>
#include <csignal>

namespace ItemCsv {

// While an object of this class lives, SIGTERM, SIGHUP and SIGINT (logging out, closing the
// terminal, Ctrl+C) wait; when it goes, one that came takes effect as it would have. A save
// holds them, so that it is never cut off between its first byte and its last.
class HeldSignals
{
public:
    HeldSignals();
    ~HeldSignals();
    HeldSignals(const HeldSignals &) = delete;
    HeldSignals &operator=(const HeldSignals &) = delete;

private:
    std::array<struct sigaction, 3> m_before {};
    std::array<bool, 3> m_held {};
};

} // namespace ItemCsv

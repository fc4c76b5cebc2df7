#include "heldsignals.h"

namespace ItemCsv {
namespace {

constexpr std::array<int, 3> Held {SIGTERM, SIGHUP, SIGINT};
// The signal that came while they were held, or 0.
volatile std::sig_atomic_t arrived = 0;

extern "C" void noteSignal(int signal)
{
    arrived = signal;
}

} // namespace

// Blocking the signals would not hold them: a signal sent to the process goes to any one of
// its threads that does not block it, and Qt runs threads of its own. What a signal does is
// the same for every thread, so a handler that only notes it holds it whichever thread it
// comes to. SA_RESTART lets the calls it interrupts go on as if nothing had come.
HeldSignals::HeldSignals()
{
    arrived = 0;
    struct sigaction note
    {
    };
    note.sa_handler = noteSignal;
    note.sa_flags = SA_RESTART;
    sigfillset(&note.sa_mask);
    for (std::size_t i = 0; i < Held.size(); ++i) {
        // One that the program was started to ignore (nohup) stays ignored.
        m_held[i] = ::sigaction(Held[i], nullptr, &m_before[i]) == 0
            && ((m_before[i].sa_flags & SA_SIGINFO) != 0 || m_before[i].sa_handler != SIG_IGN)
            && ::sigaction(Held[i], &note, nullptr) == 0;
    }
}

HeldSignals::~HeldSignals()
{
    for (std::size_t i = 0; i < Held.size(); ++i) {
        if (m_held[i])
            ::sigaction(Held[i], &m_before[i], nullptr);
    }
    if (arrived != 0)
        std::raise(arrived);
}

} // namespace ItemCsv

#pragma once

#include <cstddef>

// While one lives, every operator new of `bytes` or more throws std::bad_alloc, as on a machine
// whose memory has run out, and smaller ones go on as usual: so a test reaches the program's
// handling of a failed allocation without a memory limit, which the sanitizer build cannot run
// under. Only operator new fails; Qt's containers allocate with malloc and go on.
class FailingAllocations
{
public:
    explicit FailingAllocations(std::size_t bytes);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations &) = delete;
    FailingAllocations &operator=(const FailingAllocations &) = delete;
};

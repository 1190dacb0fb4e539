// Line speeds in bits per second through termios2, which also takes speeds that
// have no B-constant. Kept apart: <asm/termbits.h> clashes with <termios.h>.
#pragma once

#include <cstdint>

namespace Tesk::IO {

// Sets input and output speed of a terminal; false with errno when refused.
bool SetLineSpeed(int fd, std::uint32_t bitsPerSecond);
// The terminal's output speed in bits per second; false with errno when not a terminal.
bool GetLineSpeed(int fd, std::uint32_t* bitsPerSecond);

}  // namespace Tesk::IO

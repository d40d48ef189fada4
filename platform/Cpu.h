#pragma once

namespace platform {

// True when the processor has the SSE4.2 instructions (the CRC32 instruction among them).
// Asked of the processor itself, once per call; cheap enough to call at start-up.
bool HasSse42();

} // namespace platform

#pragma once
// Media threads wake every 20 ms and must not lose their turn to a busy
// machine, or the far end hears gaps: they ask for round-robin real-time
// priority where the system grants it, and carry a name for debuggers.

namespace zelora::audio {

// Called at the top of a media thread. Returns true when real-time priority was granted.
bool PrepareMediaThread(const char* name);

} // namespace zelora::audio

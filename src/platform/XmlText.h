#pragma once
// Text put into XML or HTML: the one escaper the history files and the simulator's pages use.
#include <string>
#include <string_view>

namespace zelora {

// '&', '<', '>' and '"' as entities; everything else unchanged.
std::string EscapeXml(std::string_view text);

} // namespace zelora

#pragma once

#include <string>

namespace zinna {

// "http://", the title's host, "/?launcher=glint": the same address every time.
std::string PromotionalPageAddress();

}  // namespace zinna

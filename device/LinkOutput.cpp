// Links: one entry of the device's link list per link annotation.
#include "device/WinOutputDev.h"

namespace lumora {

void WinOutputDev::processLink(AnnotLink *link) {}

} // namespace lumora

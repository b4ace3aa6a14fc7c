// The version of the host tools, as git described the source tree when they
// were built (or the release number outside a git checkout).
#ifndef LINK_COMMON_VERSION_H
#define LINK_COMMON_VERSION_H

namespace linksim {

const char* ProgramVersion();

}  // namespace linksim

#endif

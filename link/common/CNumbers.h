// Numbers the host writes and reads the same whatever locale a model sets.
// A model may call setlocale() in AMI_Init (to a locale with a decimal
// comma, say); that changes the process's locale, and with it every
// printf and strtod of the host's. A thread that has called this keeps the
// C locale for itself whatever the process's becomes.
#ifndef LINK_COMMON_C_NUMBERS_H
#define LINK_COMMON_C_NUMBERS_H

namespace linksim {

// Call first thing on every thread of the host's that formats or reads
// numbers. Models called on such a thread see the C locale too.
void UseCNumbersOnThisThread();

}  // namespace linksim

#endif

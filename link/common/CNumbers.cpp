#include "CNumbers.h"

#include <clocale>
#include <locale.h>

namespace linksim {

void UseCNumbersOnThisThread() {
    // One C locale object for the whole process, never freed: threads may
    // hold it until the very end.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (cLocale != static_cast<locale_t>(nullptr)) uselocale(cLocale);
}

}  // namespace linksim

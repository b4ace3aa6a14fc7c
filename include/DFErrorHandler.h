// Message posting for blocks: every text goes to standard error, one line
// each, with nothing added (no prefix, severity or block name). Each line is
// written in one piece, so lines posted from several threads never merge.
#ifndef TESSEL_DFERRORHANDLER_H
#define TESSEL_DFERRORHANDLER_H

#include "TesselExport.h"

namespace Tessel {

class DFModel;

class TESSEL_EXPORT DFErrorHandler {
public:
    // The block argument identifies the poster and is otherwise unused.
    static void PostError(DFModel* model, const char* text);
    static void PostWarning(DFModel* model, const char* text);
    static void PostLog(DFModel* model, const char* text);
    static void PostInfo(DFModel* model, const char* text);
    static void PostProgress(DFModel* model, const char* text);
    static void ClearProgress(DFModel* model);
    static bool StopRequested();
};

}  // namespace Tessel

#endif

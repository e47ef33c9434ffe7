// Board rendering: to be filled in.
#include "TFENData.h"

void TFENData::LoadProgramPieces() {}

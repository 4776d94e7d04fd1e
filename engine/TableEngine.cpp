#include "engine/TableEngine.h"

CTableEngine::CTableEngine() = default;

// The members go in reverse order of declaration: the files close first. Blocks of a
// .frm read are freed by that read, so none are left here.
CTableEngine::~CTableEngine() = default;

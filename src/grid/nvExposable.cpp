#include "grid/nvExposable.h"

// Out of line, so the class has one home for its virtual table.
TnvExposable::~TnvExposable() = default;

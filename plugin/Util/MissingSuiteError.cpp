#include "MissingSuiteError.h"

void MissingSuiteError() { throw kMissingSuiteError; }

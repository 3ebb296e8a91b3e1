// The chart unit's exception class, on its own so that the tile codec can
// raise it without depending on the chart reader.
#pragma once

#include "SysUtils.h"

VM_DECLARE_EXCEPTION(ENKFChartError, Exception);

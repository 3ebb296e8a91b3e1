// The exception class of the chart units: the chart reader, its tag reader
// and the tile codec raise it with messages naming the operation.
#pragma once

#include "SysUtils.h"

VM_DECLARE_EXCEPTION(ENKFChartError, Exception);

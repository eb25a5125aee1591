#pragma once
// The line analysis: the search (line_search.h) and the fits (line_fit.h).

#include "processing/line_fit.h"
#include "processing/line_search.h"

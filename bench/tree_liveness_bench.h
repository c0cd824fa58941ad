// The folder tree's liveness cases of tree-bench, each printed as CASE quillon=... limit=...
#pragma once

#include <string>

// Runs the cases whose names hold the text (every case for an empty text); false when any went
// past its limit.
bool RunTreeLivenessCases(const std::string& only);

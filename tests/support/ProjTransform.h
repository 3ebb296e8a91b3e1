// A PROJ transformation with its own context, for the native tests that
// check our geodesy against PROJ: axes as for display (longitude or easting
// first), degrees for geographic coordinates.
#pragma once

#include <gtest/gtest.h>
#include <proj.h>

#include "VmGeodetics.h"

class TProjTransform {
public:
  TProjTransform(const char *From, const char *To) : FContext(proj_context_create()) {
    PJ *raw = proj_create_crs_to_crs(FContext, From, To, nullptr);
    if (raw != nullptr) {
      FPJ = proj_normalize_for_visualization(FContext, raw);
      proj_destroy(raw);
    }
  }
  ~TProjTransform() {
    if (FPJ != nullptr)
      proj_destroy(FPJ);
    proj_context_destroy(FContext);
  }
  TProjTransform(const TProjTransform &) = delete;
  TProjTransform &operator=(const TProjTransform &) = delete;

  // (A, B) in From's display axes to (x, y) in To's.
  TDoublePoint operator()(double A, double B) const {
    EXPECT_NE(FPJ, nullptr) << "PROJ has no transformation";
    const PJ_COORD c = proj_trans(FPJ, PJ_FWD, proj_coord(A, B, 0, 0));
    return {c.xy.x, c.xy.y};
  }

private:
  PJ_CONTEXT *FContext;
  PJ *FPJ = nullptr;
};

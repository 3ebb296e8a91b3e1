// The geodetics unit's state: the lock that guards custom records and the
// process-wide tables, built on first use.
#include "VmGeodetics.h"

#include "VmGeodeticsInternal.h"

std::mutex &GeodeticsLock() {
  static std::mutex Lock;
  return Lock;
}

TGeodeticTables::TGeodeticTables() {
  BuildEllipsoidTable(*this);
  BuildDatumTable(*this);
  AttachOldDatumNames(*this);
}

TGeodeticTables::~TGeodeticTables() {
  // Records go from the last to the first, custom ones before the fixed tables.
  while (!CustomDatums.empty())
    CustomDatums.pop_back();
  while (!Datums.empty())
    Datums.pop_back();
  while (!CustomEllipsoids.empty())
    CustomEllipsoids.pop_back();
}

TGeodeticTables &GeodeticTables() {
  // Built by the first caller from any thread; the lock exists before it.
  GeodeticsLock();
  static TGeodeticTables Tables;
  return Tables;
}

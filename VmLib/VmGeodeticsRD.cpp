// The Dutch RD grid by its approximation polynomials on Bessel geographic
// coordinates (Schreutelkamp and Strang van Hees, "Benaderingsformules voor de
// transformatie tussen RD- en WGS84-kaartcoordinaten", 2001, in their Bessel
// form about the Amersfoort origin). Valid over the Netherlands only.
#include "VmGeodetics.h"

#include "VmGeodeticsInternal.h"

namespace {
using Ext = long double;

// Amersfoort, the origin (X 155000, Y 463000). Held as doubles so that the
// origin maps to the grid origin exactly and back.
constexpr double Phi0 = 0.9102967269708095363;   // 52.15616056 degrees
constexpr double Lam0 = 0.094032037521539308366;  // 5.387638889 degrees
constexpr Ext X0 = 155000;
constexpr Ext Y0 = 463000;

// Radians to units of 10 000 arc seconds, and arc seconds to radians.
constexpr Ext RadiansTo10000ArcSeconds = 20.626480624709635515L;
constexpr Ext ArcSecond = 4.8481368110953599358e-6L;
constexpr Ext GridUnit = 0.00001L;  // metres to units of 100 km
}  // namespace

TDoublePoint RDForward(const TDoublePoint &Geographic) {
  const Ext p = (Geographic.X - Phi0) * RadiansTo10000ArcSeconds;
  const Ext q = (Geographic.Y - Lam0) * RadiansTo10000ArcSeconds;
  const Ext q2 = q * q;
  const Ext X =
      X0 + q * ((190066.98903L + p * (-11830.85831L + p * (-114.19754L + p * (-2.34078L + p * -0.04158L)))) +
                q2 * ((-32.3836L + p * (-0.60639L + p * 0.15774L)) + q2 * -0.00661L));
  const Ext Y = Y0 + p * (309020.3181L + p * (72.97141L + p * (59.79734L + p * -0.03444L))) +
                q2 * ((3638.36193L + p * (-157.95222L + p * (-6.43481L + p * -0.07379L))) +
                      q2 * (0.09351L + p * -0.05419L));
  return {static_cast<double>(X), static_cast<double>(Y)};
}

TDoublePoint RDInverse(const TDoublePoint &Grid) {
  const Ext u = (Grid.X - X0) * GridUnit;
  const Ext v = (Grid.Y - Y0) * GridUnit;
  const Ext u2 = u * u;
  const Ext DPhi = v * (3236.0331637L + v * (-0.2472814L + v * (-0.0655238L + v * 0.0000371L))) +
                   u2 * ((-32.5915821L + v * (-0.8501341L + v * (-0.0171137L + v * (-0.0003859L + v * -0.000009L)))) +
                         u2 * (0.0052771L + v * (0.0003314L + v * 0.0000143L)));
  const Ext DLam =
      u * ((5261.3028966L +
            v * (105.9780241L + v * (2.4576469L + v * (0.0560089L + v * (0.001277L + v * 0.0000291L))))) +
           u2 * ((-0.8192156L + v * (-0.0560092L + v * (-0.0025614L + v * -0.0000973L))) +
                 u2 * (0.0002574L + v * 0.0000293L)));
  return {static_cast<double>(Phi0 + DPhi * ArcSecond), static_cast<double>(Lam0 + DLam * ArcSecond)};
}

#include "VmUnits.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace {

const char *const UnitSource = "VmLib\\VmUnits";
constexpr int UnitIndexAssertionLine = 553;

// Kelvin offset of the Celsius unit. This catalogue has always used 273.16
// (the triple point of water) rather than 273.15; stored values depend on it.
constexpr long double CelsiusZero = 273.16L;
constexpr long double FahrenheitZero = 459.67L;  // absolute zero in degrees Fahrenheit

// Wind speed in m/s for Beaufort forces 0 to 12, single precision as the
// catalogue has always stored them.
constexpr float BeaufortSpeeds[] = {0.3f, 1.6f, 3.4f, 5.5f, 8.0f, 10.8f, 13.9f,
                                    17.2f, 20.8f, 24.5f, 28.5f, 32.6f, 40.0f};
constexpr int BeaufortMaxForce = static_cast<int>(std::size(BeaufortSpeeds)) - 1;
static_assert(BeaufortMaxForce == 12);

using TCatalogue = std::vector<TQuantity>;

void AddQuantity(TCatalogue &C, int32_t Index, const std::string &Symbol, const std::string &DisplaySymbol,
                 int32_t Power = 1) {
  TQuantity &Q = C[Index];
  Q.Symbol = Symbol;
  Q.DisplaySymbol = DisplaySymbol.empty() ? Symbol : DisplaySymbol;
  Q.HasMarkup = Q.DisplaySymbol.find('<') != std::string::npos;
  Q.Power = Power;
  Q.Units.clear();
  Q.Units.push_back({Q.Symbol, Q.DisplaySymbol, nullptr, nullptr, 1});
}

void AddUnit(TCatalogue &C, TUnitID Unit, const std::string &Symbol, const std::string &DisplaySymbol,
             long double Factor, TUnitFunction ToBase = nullptr, TUnitFunction FromBase = nullptr) {
  std::vector<TUnit> &Units = C[UnitQuantity(Unit)].Units;
  const size_t Index = static_cast<size_t>(UnitIndex(Unit));
  if (Units.size() < Index + 1)
    Units.resize(Index + 1);
  Assert(Index < Units.size(), "Unit index out of range", UnitSource, UnitIndexAssertionLine);
  Units[Index] = {Symbol, DisplaySymbol.empty() ? Symbol : DisplaySymbol, ToBase, FromBase, Factor};
}

TCatalogue BuildCatalogue() {
  constexpr long double DegreeSize = std::numbers::pi_v<long double> / 180;
  TCatalogue C(QuantityCount);

  AddQuantity(C, qtNone, "", "");
  AddUnit(C, unNone, "-", "", 1);

  AddQuantity(C, qtTime, "s", "");
  AddUnit(C, unMinute, "min", "", 60);
  AddUnit(C, unHour, "h", "", 3600);
  AddUnit(C, unDay, "d", "", 86400);
  AddUnit(C, unYear, "years", "", 31557600);  // Julian year of 365.25 days

  AddQuantity(C, qtFrequency, "Hz", "");
  AddUnit(C, unRpm, "rpm", "", 1.0L / 60);

  AddQuantity(C, qtAngle, "rad", "");
  AddUnit(C, unDegree, "deg", "", DegreeSize);

  AddQuantity(C, qtAngularVelocity, "rad/s", "<super>rad<normal>/<sub>s");
  AddUnit(C, unDegreePerSecond, "deg/s", "<super>deg<normal>/<sub>s", DegreeSize);

  AddQuantity(C, qtAngularAcceleration, "rad/s\xB2", "<super>rad<normal>/<sub>s<normal>\xB2");

  AddQuantity(C, qtLength, "m", "");
  AddUnit(C, unMil, "mil", "", 2.54e-5L);
  AddUnit(C, unInch, "in", "", 0.0254L);
  AddUnit(C, unFoot, "ft", "", 0.3048L);
  AddUnit(C, unYard, "yd", "", 0.9144L);
  AddUnit(C, unFathom, "fath", "", 1.8288L);
  AddUnit(C, unMile, "mile", "", 1609.344L);
  AddUnit(C, unNauticalMile, "nmile", "", 1852);

  AddQuantity(C, qtArea, "m\xB2", "", 2);

  AddQuantity(C, qtVolume, "m\xB3", "", 3);
  AddUnit(C, unMillilitre, "ml", "", 1e-6L);
  AddUnit(C, unCentilitre, "cl", "", 1e-5L);
  AddUnit(C, unDecilitre, "dl", "", 0.0001L);
  AddUnit(C, unLitre, "l", "", 0.001L);
  AddUnit(C, unGallon, "gal", "", 0.00378541L);

  AddQuantity(C, qtSpeed, "m/s", "<super>m<normal>/<sub>s");
  AddUnit(C, unKilometrePerHour, "km/h", "<super>km<normal>/<sub>h", 1 / 3.6L);
  AddUnit(C, unMilePerHour, "mph", "", 0.44704L);
  AddUnit(C, unKnot, "kn", "", 1852.0L / 3600);
  AddUnit(C, unBeaufort, "bft", "", 1, BeaufortToMetresPerSecond, MetresPerSecondToBeaufort);

  AddQuantity(C, qtAcceleration, "m/s\xB2", "<super>m<normal>/<sub>s<normal>\xB2");

  AddQuantity(C, qtMass, "g", "");
  AddUnit(C, unTon, "ton", "", 1e6L);
  AddUnit(C, unPound, "lb", "", 453.59237L);
  AddUnit(C, unUSTon, "US ton", "", 907184.74L);
  AddUnit(C, unUKTon, "UK ton", "", 1016046.9088L);

  AddQuantity(C, qtForce, "N", "");
  AddUnit(C, unPoundForce, "lbf", "", 4.44822L);

  AddQuantity(C, qtTorque, "Nm", "");

  AddQuantity(C, qtPressure, "Pa", "");
  AddUnit(C, unMillibar, "mbar", "", 100);
  AddUnit(C, unBar, "bar", "", 100000);
  AddUnit(C, unMillimetreOfMercury, "mmHg", "", 133.322L);
  AddUnit(C, unPsi, "psi", "", 6894.76L);

  AddQuantity(C, qtEnergy, "J", "");
  AddUnit(C, unKilowattHour, "kWh", "", 3.6e6L);
  AddUnit(C, unCalorie, "cal", "", 4.1868L);
  AddUnit(C, unKilocalorie, "kcal", "", 4186.8L);

  AddQuantity(C, qtPower, "W", "");

  AddQuantity(C, qtTemperature, "K", "");
  AddUnit(C, unCelsius, "\xB0" "C", "", 1, CelsiusToKelvin, KelvinToCelsius);
  AddUnit(C, unFahrenheit, "\xB0" "F", "", 1, FahrenheitToKelvin, KelvinToFahrenheit);

  AddQuantity(C, qtCurrent, "A", "");
  AddQuantity(C, qtVoltage, "V", "");
  AddQuantity(C, qtResistance, "Ohm", "&OMEGA;");
  return C;
}

const TCatalogue &Catalogue() {
  static const TCatalogue C = BuildCatalogue();
  return C;
}

// Built at start-up like the other tables, not on first use.
[[maybe_unused]] const bool CatalogueBuilt = (Catalogue(), true);

} // namespace

const TQuantity &Quantity(int32_t Index) {
  if (!(Index >= 0 && Index < QuantityCount))
    throw EConvertError("Quantity: Unknown quantity " + IntToStr(Index));
  return Catalogue()[Index];
}

const TUnit &UnitOf(TUnitID Unit) {
  const int32_t Q = UnitQuantity(Unit), Index = UnitIndex(Unit);
  if (!(Q < QuantityCount && Index < static_cast<int32_t>(Catalogue()[Q].Units.size())))
    throw EConvertError("UnitOf: Unknown unit $" + IntToHex(Unit, 8));
  return Catalogue()[Q].Units[Index];
}

bool FindUnit(int32_t QuantityIndex, const std::string &Symbol, TUnitID &Unit) {
  const std::vector<TUnit> &List = Quantity(QuantityIndex).Units;
  const auto Found = std::find_if(List.begin(), List.end(), [&](const TUnit &U) { return U.Symbol == Symbol; });
  if (Found == List.end())
    return false;
  Unit = MakeUnitID(QuantityIndex, static_cast<int32_t>(Found - List.begin()));
  return true;
}

long double ToBaseUnit(long double Value, TUnitID Unit) {
  const TUnit &U = UnitOf(Unit);
  return U.ToBase ? U.ToBase(Value) : Value * U.Factor;
}

long double FromBaseUnit(long double Value, TUnitID Unit) {
  const TUnit &U = UnitOf(Unit);
  return U.FromBase ? U.FromBase(Value) : Value / U.Factor;
}

long double ConvertUnit(long double Value, TUnitID Source, TUnitID Dest) {
  if (UnitQuantity(Source) != UnitQuantity(Dest))
    throw EConvertError("ConvertUnit: Units of different quantities ($" + IntToHex(Source, 8) + ", $" +
                        IntToHex(Dest, 8) + ")");
  return FromBaseUnit(ToBaseUnit(Value, Source), Dest);
}

long double CelsiusToKelvin(long double C) { return C + CelsiusZero; }
long double KelvinToCelsius(long double K) { return K - CelsiusZero; }
long double FahrenheitToKelvin(long double F) { return (F + FahrenheitZero) * 5 / 9; }
long double KelvinToFahrenheit(long double K) { return 1.8L * K - FahrenheitZero; }

long double BeaufortToMetresPerSecond(long double Force) {
  if (std::isnan(Force))
    return Force;
  const long double Clamped = std::clamp<long double>(Force, 0, BeaufortMaxForce);
  return BeaufortSpeeds[static_cast<int>(std::nearbyint(Clamped))];
}

// The force whose table speed lies nearest; on a tie the lower force, so that
// every table speed gives back its own force.
long double MetresPerSecondToBeaufort(long double Speed) {
  if (std::isnan(Speed))
    return Speed;
  int Force = 0;
  while (Force < BeaufortMaxForce && Speed - BeaufortSpeeds[Force] > BeaufortSpeeds[Force + 1] - Speed)
    ++Force;
  return Force;
}

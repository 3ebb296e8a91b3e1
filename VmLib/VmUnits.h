// The process-wide catalogue of physical quantities: for each quantity its base
// unit and the further units with their size in base units, or a pair of
// conversion functions for units that are not a plain multiple (temperatures,
// the Beaufort scale). Built at start-up, read-only afterwards.
#pragma once

#include "SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

// Extended precision: 80 bits on the x86 targets.
using TUnitFunction = long double (*)(long double);

struct TUnit {
  std::string Symbol;
  std::string DisplaySymbol;
  TUnitFunction ToBase = nullptr;    // set together with FromBase
  TUnitFunction FromBase = nullptr;
  long double Factor = 1;            // size of the unit in base units
};

class TQuantity {
public:
  std::string Symbol;         // the base unit's plain symbol, e.g. "m/s"
  std::string DisplaySymbol;  // with markup, e.g. "<super>m<normal>/<sub>s"
  bool HasMarkup = false;
  int32_t Power = 1;          // 2 for areas, 3 for volumes
  std::vector<TUnit> Units;   // unit 0 is the base unit
};

// Quantity numbers, in catalogue order.
enum TQuantityIndex : int32_t {
  qtNone, qtTime, qtFrequency, qtAngle, qtAngularVelocity, qtAngularAcceleration, qtLength, qtArea,
  qtVolume, qtSpeed, qtAcceleration, qtMass, qtForce, qtTorque, qtPressure, qtEnergy, qtPower,
  qtTemperature, qtCurrent, qtVoltage, qtResistance,
  QuantityCount
};

// A unit number: the quantity in the high 16 bits, the position in its
// quantity's Units in the low 16 bits.
using TUnitID = uint32_t;

constexpr TUnitID MakeUnitID(int32_t Quantity, int32_t Index) {
  return (static_cast<uint32_t>(Quantity) << 16) | (static_cast<uint32_t>(Index) & 0xFFFF);
}
constexpr int32_t UnitQuantity(TUnitID Unit) { return static_cast<int32_t>(Unit >> 16); }
constexpr int32_t UnitIndex(TUnitID Unit) { return static_cast<int32_t>(Unit & 0xFFFF); }

// Every unit of the catalogue by name.
namespace Units {
constexpr TUnitID None = MakeUnitID(qtNone, 0);
constexpr TUnitID Second = MakeUnitID(qtTime, 0), Minute = MakeUnitID(qtTime, 1), Hour = MakeUnitID(qtTime, 2),
                  Day = MakeUnitID(qtTime, 3), Year = MakeUnitID(qtTime, 4);
constexpr TUnitID Hertz = MakeUnitID(qtFrequency, 0), Rpm = MakeUnitID(qtFrequency, 1);
constexpr TUnitID Radian = MakeUnitID(qtAngle, 0), Degree = MakeUnitID(qtAngle, 1);
constexpr TUnitID RadianPerSecond = MakeUnitID(qtAngularVelocity, 0),
                  DegreePerSecond = MakeUnitID(qtAngularVelocity, 1);
constexpr TUnitID RadianPerSecondSquared = MakeUnitID(qtAngularAcceleration, 0);
constexpr TUnitID Metre = MakeUnitID(qtLength, 0), Mil = MakeUnitID(qtLength, 1), Inch = MakeUnitID(qtLength, 2),
                  Foot = MakeUnitID(qtLength, 3), Yard = MakeUnitID(qtLength, 4), Fathom = MakeUnitID(qtLength, 5),
                  Mile = MakeUnitID(qtLength, 6), NauticalMile = MakeUnitID(qtLength, 7);
constexpr TUnitID SquareMetre = MakeUnitID(qtArea, 0);
constexpr TUnitID CubicMetre = MakeUnitID(qtVolume, 0), Millilitre = MakeUnitID(qtVolume, 1),
                  Centilitre = MakeUnitID(qtVolume, 2), Decilitre = MakeUnitID(qtVolume, 3),
                  Litre = MakeUnitID(qtVolume, 4), Gallon = MakeUnitID(qtVolume, 5);
constexpr TUnitID MetrePerSecond = MakeUnitID(qtSpeed, 0), KilometrePerHour = MakeUnitID(qtSpeed, 1),
                  MilePerHour = MakeUnitID(qtSpeed, 2), Knot = MakeUnitID(qtSpeed, 3),
                  Beaufort = MakeUnitID(qtSpeed, 4);
constexpr TUnitID MetrePerSecondSquared = MakeUnitID(qtAcceleration, 0);
constexpr TUnitID Gram = MakeUnitID(qtMass, 0), Ton = MakeUnitID(qtMass, 1), Pound = MakeUnitID(qtMass, 2),
                  USTon = MakeUnitID(qtMass, 3), UKTon = MakeUnitID(qtMass, 4);
constexpr TUnitID Newton = MakeUnitID(qtForce, 0), PoundForce = MakeUnitID(qtForce, 1);
constexpr TUnitID NewtonMetre = MakeUnitID(qtTorque, 0);
constexpr TUnitID Pascal = MakeUnitID(qtPressure, 0), Millibar = MakeUnitID(qtPressure, 1),
                  Bar = MakeUnitID(qtPressure, 2), MillimetreOfMercury = MakeUnitID(qtPressure, 3),
                  Psi = MakeUnitID(qtPressure, 4);
constexpr TUnitID Joule = MakeUnitID(qtEnergy, 0), KilowattHour = MakeUnitID(qtEnergy, 1),
                  Calorie = MakeUnitID(qtEnergy, 2), Kilocalorie = MakeUnitID(qtEnergy, 3);
constexpr TUnitID Watt = MakeUnitID(qtPower, 0);
constexpr TUnitID Kelvin = MakeUnitID(qtTemperature, 0), Celsius = MakeUnitID(qtTemperature, 1),
                  Fahrenheit = MakeUnitID(qtTemperature, 2);
constexpr TUnitID Ampere = MakeUnitID(qtCurrent, 0);
constexpr TUnitID Volt = MakeUnitID(qtVoltage, 0);
constexpr TUnitID Ohm = MakeUnitID(qtResistance, 0);
} // namespace Units

// The catalogue's quantity by number (0 .. QuantityCount - 1).
const TQuantity &Quantity(int32_t Index);
// The unit record of a unit number; raises EConvertError for a number the
// catalogue does not hold.
const TUnit &UnitOf(TUnitID Unit);
// The unit of Quantity whose Symbol is Symbol (case-sensitive); false if none.
bool FindUnit(int32_t QuantityIndex, const std::string &Symbol, TUnitID &Unit);

// Value in Unit to the quantity's base unit, and back.
long double ToBaseUnit(long double Value, TUnitID Unit);
long double FromBaseUnit(long double Value, TUnitID Unit);
// Value in Source to Dest; raises EConvertError when the two units measure
// different quantities.
long double ConvertUnit(long double Value, TUnitID Source, TUnitID Dest);

// Temperature conversions of the catalogue (kelvin as base).
long double CelsiusToKelvin(long double C);
long double KelvinToCelsius(long double K);
long double FahrenheitToKelvin(long double F);
long double KelvinToFahrenheit(long double K);
// Beaufort force to wind speed in m/s and back. The force is rounded and
// clamped to 0..12; a speed gives the force whose table speed is nearest.
long double BeaufortToMetresPerSecond(long double Force);
long double MetresPerSecondToBeaufort(long double Speed);

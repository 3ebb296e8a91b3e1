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
constexpr TUnitID unNone = MakeUnitID(qtNone, 0);
constexpr TUnitID unSecond = MakeUnitID(qtTime, 0), unMinute = MakeUnitID(qtTime, 1), unHour = MakeUnitID(qtTime, 2),
                  unDay = MakeUnitID(qtTime, 3), unYear = MakeUnitID(qtTime, 4);
constexpr TUnitID unHertz = MakeUnitID(qtFrequency, 0), unRpm = MakeUnitID(qtFrequency, 1);
constexpr TUnitID unRadian = MakeUnitID(qtAngle, 0), unDegree = MakeUnitID(qtAngle, 1);
constexpr TUnitID unRadianPerSecond = MakeUnitID(qtAngularVelocity, 0),
                  unDegreePerSecond = MakeUnitID(qtAngularVelocity, 1);
constexpr TUnitID unRadianPerSecondSquared = MakeUnitID(qtAngularAcceleration, 0);
constexpr TUnitID unMetre = MakeUnitID(qtLength, 0), unMil = MakeUnitID(qtLength, 1),
                  unInch = MakeUnitID(qtLength, 2), unFoot = MakeUnitID(qtLength, 3),
                  unYard = MakeUnitID(qtLength, 4), unFathom = MakeUnitID(qtLength, 5),
                  unMile = MakeUnitID(qtLength, 6), unNauticalMile = MakeUnitID(qtLength, 7);
constexpr TUnitID unSquareMetre = MakeUnitID(qtArea, 0);
constexpr TUnitID unCubicMetre = MakeUnitID(qtVolume, 0), unMillilitre = MakeUnitID(qtVolume, 1),
                  unCentilitre = MakeUnitID(qtVolume, 2), unDecilitre = MakeUnitID(qtVolume, 3),
                  unLitre = MakeUnitID(qtVolume, 4), unGallon = MakeUnitID(qtVolume, 5);
constexpr TUnitID unMetrePerSecond = MakeUnitID(qtSpeed, 0), unKilometrePerHour = MakeUnitID(qtSpeed, 1),
                  unMilePerHour = MakeUnitID(qtSpeed, 2), unKnot = MakeUnitID(qtSpeed, 3),
                  unBeaufort = MakeUnitID(qtSpeed, 4);
constexpr TUnitID unMetrePerSecondSquared = MakeUnitID(qtAcceleration, 0);
constexpr TUnitID unGram = MakeUnitID(qtMass, 0), unTon = MakeUnitID(qtMass, 1), unPound = MakeUnitID(qtMass, 2),
                  unUSTon = MakeUnitID(qtMass, 3), unUKTon = MakeUnitID(qtMass, 4);
constexpr TUnitID unNewton = MakeUnitID(qtForce, 0), unPoundForce = MakeUnitID(qtForce, 1);
constexpr TUnitID unNewtonMetre = MakeUnitID(qtTorque, 0);
constexpr TUnitID unPascal = MakeUnitID(qtPressure, 0), unMillibar = MakeUnitID(qtPressure, 1),
                  unBar = MakeUnitID(qtPressure, 2), unMillimetreOfMercury = MakeUnitID(qtPressure, 3),
                  unPsi = MakeUnitID(qtPressure, 4);
constexpr TUnitID unJoule = MakeUnitID(qtEnergy, 0), unKilowattHour = MakeUnitID(qtEnergy, 1),
                  unCalorie = MakeUnitID(qtEnergy, 2), unKilocalorie = MakeUnitID(qtEnergy, 3);
constexpr TUnitID unWatt = MakeUnitID(qtPower, 0);
constexpr TUnitID unKelvin = MakeUnitID(qtTemperature, 0), unCelsius = MakeUnitID(qtTemperature, 1),
                  unFahrenheit = MakeUnitID(qtTemperature, 2);
constexpr TUnitID unAmpere = MakeUnitID(qtCurrent, 0);
constexpr TUnitID unVolt = MakeUnitID(qtVoltage, 0);
constexpr TUnitID unOhm = MakeUnitID(qtResistance, 0);

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

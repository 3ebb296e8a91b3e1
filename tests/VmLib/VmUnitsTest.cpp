#include "VmUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <numbers>

// Published relations between units (NIST SP 811 appendix B; the international
// yard and pound of 1959; the international nautical mile of 1929). Relative
// tolerance: exact definitions to extended-precision rounding; the catalogue's
// rounded factors (gallon, psi, mmHg, lbf) to their printed digits.
TEST(VmUnits, ConversionsMatchPublishedValues) {
  const struct {
    long double Value;
    TUnitID From, To;
    long double Expected, RelTol;
  } cases[] = {
      {1, unNauticalMile, unMetre, 1852, 1e-15L},
      {1, unNauticalMile, unFoot, 6076.11548556L, 1e-11L},
      {1, unFathom, unFoot, 6, 1e-15L},
      {1, unMile, unYard, 1760, 1e-15L},
      {1, unFoot, unInch, 12, 1e-15L},
      {1, unInch, unMil, 1000, 1e-15L},
      {3, unKnot, unMetrePerSecond, 1852.0L * 3 / 3600, 1e-15L},
      {1, unKnot, unKilometrePerHour, 1.852L, 1e-15L},
      {100, unKilometrePerHour, unMilePerHour, 62.1371192237L, 1e-11L},
      {1, unDay, unMinute, 1440, 1e-15L},
      {1, unYear, unDay, 365.25L, 1e-15L},
      {60, unRpm, unHertz, 1, 1e-15L},
      {180, unDegree, unRadian, std::numbers::pi_v<long double>, 1e-15L},
      {90, unDegreePerSecond, unRadianPerSecond, std::numbers::pi_v<long double> / 2, 1e-15L},
      {1, unGallon, unLitre, 3.785411784L, 1e-6L},
      {1, unLitre, unMillilitre, 1000, 1e-15L},
      {1, unDecilitre, unCentilitre, 10, 1e-15L},
      {1, unUSTon, unPound, 2000, 1e-15L},
      {1, unUKTon, unPound, 2240, 1e-15L},
      {1, unTon, unGram, 1e6L, 1e-15L},
      {1, unPoundForce, unNewton, 4.4482216152605L, 1e-6L},
      {1, unBar, unMillibar, 1000, 1e-15L},
      {1, unPsi, unPascal, 6894.757293168L, 1e-6L},
      {760, unMillimetreOfMercury, unPascal, 101325, 1e-5L},
      {1, unKilocalorie, unCalorie, 1000, 1e-15L},
      {1, unKilowattHour, unJoule, 3.6e6L, 1e-15L},
  };
  for (int i = 0; i < int(std::size(cases)); ++i) {
    const auto &c = cases[i];
    const long double Got = ConvertUnit(c.Value, c.From, c.To);
    EXPECT_LE(std::fabs(Got - c.Expected), c.RelTol * std::fabs(c.Expected))
        << "case " << i << ": got " << static_cast<double>(Got);
  }
}

TEST(VmUnits, TemperatureScales) {
  // Fahrenheit against the kelvin as published: 32 F = 273.15 K, 212 F =
  // 373.15 K, -459.67 F = 0 K. The Celsius unit keeps the catalogue's
  // historical zero of 273.16 K.
  const struct {
    TUnitID Unit;
    long double Value, Kelvin;
  } cases[] = {
      {unFahrenheit, 32, 273.15L},  {unFahrenheit, 212, 373.15L}, {unFahrenheit, -459.67L, 0},
      {unCelsius, 0, 273.16L},      {unCelsius, 100, 373.16L},    {unKelvin, 300, 300},
  };
  for (int i = 0; i < int(std::size(cases)); ++i) {
    const auto &c = cases[i];
    EXPECT_NEAR(static_cast<double>(ToBaseUnit(c.Value, c.Unit)), static_cast<double>(c.Kelvin), 1e-12)
        << "case " << i;
    EXPECT_NEAR(static_cast<double>(FromBaseUnit(c.Kelvin, c.Unit)), static_cast<double>(c.Value), 1e-12)
        << "case " << i;
  }
  EXPECT_NEAR(static_cast<double>(ConvertUnit(212, unFahrenheit, unCelsius)), 99.99, 1e-12);
}

TEST(VmUnits, BeaufortForceToSpeedRoundsAndClamps) {
  const struct {
    long double Force;
    float Speed;
  } cases[] = {{4.4L, 8.0f}, {-1, 0.3f}, {15, 40.0f}, {0, 0.3f}, {12, 40.0f}, {6.6L, 17.2f}, {0.49L, 0.3f}};
  for (int i = 0; i < int(std::size(cases)); ++i)
    EXPECT_EQ(ToBaseUnit(cases[i].Force, unBeaufort), static_cast<long double>(cases[i].Speed)) << "case " << i;
}

// The speed gives the force whose table speed is nearest, ties to the lower
// force, so the two directions are inverse on the table.
TEST(VmUnits, BeaufortSpeedToForceIsTheNearestTableForce) {
  const float Table[] = {0.3f, 1.6f, 3.4f, 5.5f, 8.0f, 10.8f, 13.9f, 17.2f, 20.8f, 24.5f, 28.5f, 32.6f, 40.0f};
  for (int Force = 0; Force <= 12; ++Force) {
    EXPECT_EQ(FromBaseUnit(ToBaseUnit(Force, unBeaufort), unBeaufort), Force) << "force " << Force;
    if (Force == 12)
      break;
    const long double Mid = (static_cast<long double>(Table[Force]) + Table[Force + 1]) / 2;
    EXPECT_EQ(FromBaseUnit(Mid, unBeaufort), Force) << "tie above force " << Force;
    EXPECT_EQ(FromBaseUnit(Mid + 1e-6L, unBeaufort), Force + 1) << "just above the tie, force " << Force;
  }
  const struct {
    long double Speed, Force;
  } cases[] = {{-3, 0}, {0, 0}, {15, 6}, {15.6L, 7}, {100, 12}};
  for (int i = 0; i < int(std::size(cases)); ++i)
    EXPECT_EQ(FromBaseUnit(cases[i].Speed, unBeaufort), cases[i].Force) << "case " << i;
  EXPECT_TRUE(std::isnan(FromBaseUnit(NAN, unBeaufort)));
  EXPECT_EQ(ConvertUnit(20, unKnot, unBeaufort), 5);  // 10.29 m/s: 10.8 is nearest
}

TEST(VmUnits, CatalogueHoldsTwentyOneQuantities) {
  const struct {
    const char *Symbol, *Display;
    bool Markup;
    int32_t Power;
    size_t UnitCount;
  } expected[] = {
      {"", "", false, 1, 1},
      {"s", "s", false, 1, 5},
      {"Hz", "Hz", false, 1, 2},
      {"rad", "rad", false, 1, 2},
      {"rad/s", "<super>rad<normal>/<sub>s", true, 1, 2},
      {"rad/s\xB2", "<super>rad<normal>/<sub>s<normal>\xB2", true, 1, 1},
      {"m", "m", false, 1, 8},
      {"m\xB2", "m\xB2", false, 2, 1},
      {"m\xB3", "m\xB3", false, 3, 6},
      {"m/s", "<super>m<normal>/<sub>s", true, 1, 5},
      {"m/s\xB2", "<super>m<normal>/<sub>s<normal>\xB2", true, 1, 1},
      {"g", "g", false, 1, 5},
      {"N", "N", false, 1, 2},
      {"Nm", "Nm", false, 1, 1},
      {"Pa", "Pa", false, 1, 5},
      {"J", "J", false, 1, 4},
      {"W", "W", false, 1, 1},
      {"K", "K", false, 1, 3},
      {"A", "A", false, 1, 1},
      {"V", "V", false, 1, 1},
      {"Ohm", "&OMEGA;", false, 1, 1},
  };
  static_assert(std::size(expected) == QuantityCount);
  for (int32_t i = 0; i < QuantityCount; ++i) {
    const TQuantity &Q = Quantity(i);
    EXPECT_EQ(Q.Symbol, expected[i].Symbol) << "quantity " << i;
    EXPECT_EQ(Q.DisplaySymbol, expected[i].Display) << "quantity " << i;
    EXPECT_EQ(Q.HasMarkup, expected[i].Markup) << "quantity " << i;
    EXPECT_EQ(Q.Power, expected[i].Power) << "quantity " << i;
    EXPECT_EQ(Q.Units.size(), expected[i].UnitCount) << "quantity " << i;
  }
  EXPECT_EQ(UnitOf(unNone).Symbol, "-");
  EXPECT_EQ(UnitOf(unKilometrePerHour).DisplaySymbol, "<super>km<normal>/<sub>h");
  EXPECT_EQ(UnitOf(unCelsius).Symbol, "\xB0" "C");
  EXPECT_EQ(UnitOf(unMinute).Factor, 60);
}

TEST(VmUnits, FindUnitBySymbol) {
  TUnitID Unit = 0;
  ASSERT_TRUE(FindUnit(qtSpeed, "kn", Unit));
  EXPECT_EQ(Unit, unKnot);
  ASSERT_TRUE(FindUnit(qtMass, "UK ton", Unit));
  EXPECT_EQ(Unit, unUKTon);
  EXPECT_FALSE(FindUnit(qtSpeed, "KN", Unit));
  EXPECT_FALSE(FindUnit(qtLength, "kn", Unit));
}

TEST(VmUnits, UnknownUnitsAndMixedQuantitiesAreRefused) {
  const struct {
    TUnitID From, To;
    const char *Message;
  } cases[] = {
      {unKnot, unMetre, "ConvertUnit: Units of different quantities ($00090003, $00060000)"},
      {MakeUnitID(qtSpeed, 5), unKnot, "UnitOf: Unknown unit $00090005"},
      {MakeUnitID(QuantityCount, 0), MakeUnitID(QuantityCount, 0), "UnitOf: Unknown unit $00150000"},
  };
  for (int i = 0; i < int(std::size(cases)); ++i) {
    try {
      ConvertUnit(1, cases[i].From, cases[i].To);
      ADD_FAILURE() << "case " << i << ": no error";
    } catch (const EConvertError &e) {
      EXPECT_EQ(e.Message(), cases[i].Message) << "case " << i;
    }
  }
  EXPECT_THROW(Quantity(-1), EConvertError);
}

// The ellipsoid and datum tables: derived constants against published values,
// lookups and their errors, old names, find-or-create and the datum matrices.
#include "VmGeodetics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr double ArcSecond = 4.8481368110953599358e-6;

template <typename Error, typename Call>
std::string ErrorOf(Call &&call) {
  try {
    call();
  } catch (const Error &e) {
    return e.Message();
  }
  return "<no error>";
}

// --- Ellipsoids ------------------------------------------------------------------------

TEST(GeodeticEllipsoid, WGS84DerivedConstantsMatchPublishedValues) {
  // NIMA TR8350.2 table 3.3 and an independent 30-digit computation.
  const TGeodeticEllipsoid *WE = GeodeticEllipsoidCreate("WE");
  EXPECT_EQ(WE->Code, 0x57450000u);
  EXPECT_EQ(WE->Name, "WGS 1984");
  EXPECT_EQ(WE->A, 6378137.0);
  EXPECT_EQ(WE->InvF, 298.257223563);
  EXPECT_NEAR(WE->B, 6356752.314245179, 1e-8);
  EXPECT_NEAR(WE->E2, 0.00669437999014132, 1e-17);
  EXPECT_NEAR(WE->E2Prime, 0.00673949674227643, 1e-17);
  EXPECT_NEAR(WE->E, std::sqrt(0.00669437999014132), 1e-16);
  EXPECT_NEAR(WE->F, 1 / 298.257223563, 1e-18);
  // a * C1 * pi / 2 is the quarter meridian, 10001965.7293 m.
  EXPECT_NEAR(WE->A * WE->MeridianCoef[0] * std::numbers::pi / 2, 10001965.7293127, 1e-3);
  EXPECT_DOUBLE_EQ(WE->MuFactor, 1 / (WE->A * WE->MeridianCoef[0]));
}

TEST(GeodeticEllipsoid, BesselOfTheDutchDatums) {
  const TGeodeticEllipsoid *BR = GeodeticEllipsoidCreate("BR");
  EXPECT_EQ(BR->Name, "Bessel 1841");
  EXPECT_EQ(BR->Region, "Ethiopia, Indonesia, Japan, Korea");
  EXPECT_EQ(BR->A, 6377397.155);
  EXPECT_NEAR(BR->B, 6356078.962818, 1e-6);
  EXPECT_EQ(GeodeticDatumCreate("RD")->Ellipsoid, BR);
  EXPECT_EQ(GeodeticDatumCreate("RD-OLD")->Ellipsoid, BR);
}

TEST(GeodeticEllipsoid, TableIsCompleteAndSorted) {
  ASSERT_EQ(GeodeticEllipsoidCount(), 25);
  for (int i = 1; i < GeodeticEllipsoidCount(); ++i)
    EXPECT_LT(GeodeticEllipsoidByIndex(i - 1)->Code, GeodeticEllipsoidByIndex(i)->Code) << "row " << i;
  for (int i = 0; i < GeodeticEllipsoidCount(); ++i) {
    const TGeodeticEllipsoid *E = GeodeticEllipsoidByIndex(i);
    EXPECT_FALSE(E->Reference.empty()) << "row " << i;
    EXPECT_NEAR(E->B, E->A * (1 - 1 / E->InvF), 1e-6) << "row " << i;
  }
  EXPECT_EQ(GeodeticEllipsoidCreate("WO")->Reference, "NATO STANAG 2211");
}

TEST(GeodeticEllipsoid, CodeKeyPacksFirstCharacterHigh) {
  EXPECT_EQ(EllipsoidCodeKey("AA"), 0x41410000u);
  EXPECT_EQ(EllipsoidCodeKey("A"), 0x41000000u);
  EXPECT_EQ(EllipsoidCodeKey("ABCD"), 0x41424344u);
  EXPECT_EQ(EllipsoidCodeKey("\xFF"), 0xFF000000u);
}

TEST(GeodeticEllipsoid, UnknownCodesRaise) {
  for (const char *Code : {"we", "XX", "W", "WEX"})
    EXPECT_EQ(ErrorOf<EGeodeticsError>([&] { GeodeticEllipsoidCreate(Code); }),
              std::string("GeodeticEllipsoidCreate: Unknown ellipsoid code \"") + Code + "\"")
        << Code;
}

TEST(GeodeticEllipsoid, CodesOfWrongLengthFailThePackingContract) {
  for (const char *Code : {"", "WGS84"})
    EXPECT_EQ(ErrorOf<EAssertionFailed>([&] { GeodeticEllipsoidCreate(Code); }),
              "Ellipsoid code must have 1 to 4 characters. (VmLib\\VmGeodeticsEllipsoids, line 316)")
        << Code;
}

TEST(GeodeticEllipsoid, FindOrCreatePrefersFixedRowsFromTheEnd) {
  EXPECT_EQ(GeodeticEllipsoidCreateFromParameters(298.257223563, 6378137), GeodeticEllipsoidCreate("WE"));
  // "AN" and "SA" share a and 1/f; the scan from the end meets "SA" first.
  EXPECT_EQ(GeodeticEllipsoidCreateFromParameters(298.25, 6378160), GeodeticEllipsoidCreate("SA"));
}

TEST(GeodeticEllipsoid, FindOrCreateKeepsOneCustomRecordPerParameterPair) {
  const TGeodeticEllipsoid *Custom = GeodeticEllipsoidCreateFromParameters(299.5, 6377000.5);
  EXPECT_EQ(Custom->Code, 0u);
  EXPECT_TRUE(Custom->Name.empty());
  EXPECT_EQ(Custom->A, 6377000.5);
  EXPECT_NEAR(Custom->B, 6377000.5 * (1 - 1 / 299.5), 1e-6);
  EXPECT_EQ(GeodeticEllipsoidCreateFromParameters(299.5, 6377000.5), Custom);
  EXPECT_NE(GeodeticEllipsoidCreateFromParameters(299.5, 6377000.25), Custom);
}

TEST(GeodeticEllipsoid, NonPositiveParametersFailTheFillContract) {
  for (double InvF : {0.0, -1.0, std::nan("")})
    EXPECT_EQ(ErrorOf<EAssertionFailed>([&] { GeodeticEllipsoidCreateFromParameters(InvF, 6378000); }),
              "Ellipsoid parameters must be positive. (VmLib\\VmGeodeticsEllipsoids, line 209)")
        << InvF;
}

// --- Datums -----------------------------------------------------------------------------

TEST(GeodeticDatum, TableIsCompleteSortedAndLinked) {
  ASSERT_EQ(GeodeticDatumCount(), 229);
  const std::string Nima = GeodeticDatumCreate("EUR-A")->Reference;
  EXPECT_EQ(Nima.rfind("\"Department of Defence World Geodetic System 1984", 0), 0u);
  int NimaRows = 0;
  std::set<std::string> OldNames;
  for (int i = 0; i < GeodeticDatumCount(); ++i) {
    const TGeodeticDatum *D = GeodeticDatumByIndex(i);
    if (D->Reference == Nima) {
      ++NimaRows;
      EXPECT_TRUE(D->RX == 0 && D->RY == 0 && D->RZ == 0 && D->Scale == 1) << D->Code;
    }
    if (i > 0) {
      EXPECT_LT(std::strcmp(GeodeticDatumByIndex(i - 1)->Code.c_str(), D->Code.c_str()), 0) << "row " << i;
    }
    ASSERT_NE(D->Ellipsoid, nullptr) << D->Code;
    EXPECT_EQ(GeodeticDatumCreate(D->Code), D);
    if (D->Code == "RD") {
      EXPECT_EQ(D->OldName, nullptr);
      continue;
    }
    ASSERT_NE(D->OldName, nullptr) << D->Code;
    EXPECT_TRUE(OldNames.insert(D->OldName).second) << "old name used twice: " << D->OldName;
  }
  // All but "RD", "RD-OLD" and "WGE" are NIMA's three-parameter shifts.
  EXPECT_EQ(NimaRows, 226);
}

TEST(GeodeticDatum, RowsThatStandApart) {
  const TGeodeticDatum *WGE = GeodeticDatumCreate("WGE");
  EXPECT_EQ(WGE, WGS84Datum());
  EXPECT_EQ(WGE->Name, "WORLD GEODETIC SYSTEM 1984 (WGS 1984)");
  EXPECT_EQ(WGE->Region, "World");
  EXPECT_EQ(WGE->Reference, "NATO STANAG 2211");
  const TGeodeticDatum *RD = GeodeticDatumCreate("RD");
  EXPECT_EQ(RD->Reference, "\"PCTrans\", Koninklijke Marine, Dienst der Hydrografie, Den Haag, 2003");
  EXPECT_EQ(RD->Region, "Netherlands");
  // Published frame and arc seconds to the internal form.
  EXPECT_EQ(RD->DX, 565.04);
  EXPECT_EQ(RD->DY, -49.91);
  EXPECT_EQ(RD->DZ, 465.84);
  EXPECT_NEAR(RD->RX, -0.4094 * ArcSecond, 1e-20);
  EXPECT_NEAR(RD->RY, -0.3597 * ArcSecond, 1e-20);
  EXPECT_NEAR(RD->RZ, -1.8685 * ArcSecond, 1e-20);
  EXPECT_NEAR(RD->Scale, 1.0000040772, 1e-16);
  EXPECT_EQ(GeodeticDatumCreate("RD-OLD")->Name, "BESSEL (NL.RD)");
  EXPECT_TRUE(GeodeticDatumCreate("RD-OLD")->Reference.empty());
  const TGeodeticDatum *EUR = GeodeticDatumCreate("EUR-A");
  EXPECT_EQ(EUR->Name, "EUROPEAN 1950");
  EXPECT_EQ(EUR->Region, "Western Europe (Austria, Denmark, France, Germany, Netherlands, Switzerland)");
  EXPECT_EQ(GeodeticDatumCreate("ING-A")->Region, "Vietnam (near 16\xB0N)");
  EXPECT_EQ(GeodeticDatumCreate("ATF")->Name, "ASTRO BEACON \"E\" 1945");
}

TEST(GeodeticDatum, OnlyWGS84AndKoreanGeodeticSystemAreWGS84) {
  std::vector<std::string> Flagged;
  for (int i = 0; i < GeodeticDatumCount(); ++i)
    if (GeodeticDatumByIndex(i)->IsWGS84)
      Flagged.push_back(GeodeticDatumByIndex(i)->Code);
  EXPECT_EQ(Flagged, (std::vector<std::string>{"KGS", "WGE"}));
  EXPECT_TRUE(DatumsEquivalent(GeodeticDatumCreate("WGE"), GeodeticDatumCreate("KGS")));
  // A zero shift on GRS 80 is a different datum.
  EXPECT_FALSE(DatumsEquivalent(GeodeticDatumCreate("NAR-C"), GeodeticDatumCreate("WGE")));
  EXPECT_TRUE(DatumsEquivalent(GeodeticDatumCreate("NAR-C"), GeodeticDatumCreate("NAR-C")));
}

TEST(GeodeticDatum, LookupByCodeIsCaseSensitiveAndOrdinal) {
  EXPECT_EQ(GeodeticDatumCreate("RD-OLD")->Code, "RD-OLD");
  EXPECT_EQ(GeodeticDatumCreate("INH-A1")->Code, "INH-A1");
  for (const char *Code : {"eur-a", "RD-", "", "ZZZ", "A"})
    EXPECT_EQ(ErrorOf<EGeodeticsError>([&] { GeodeticDatumCreate(Code); }),
              std::string("GeodeticDatumCreate: Unknown datum code \"") + Code + "\"")
        << Code;
}

TEST(GeodeticDatum, LookupByOldName) {
  struct {
    const char *OldName;
    const char *Code;
  } const Cases[] = {
      {"ED50, EUR-A", "EUR-A"},
      {"Adindan, ADI-M", "ADI-M"},
      {"NAD 1927, NAS-C", "NAS-C"},
      {"OSGB 1936, OGB-M", "OGB-M"},
      {"Pulkovo 1942, SPK-F", "SPK-F"},
      {"S-JTSK, CCD", "CCD"},
      {"Astro Beacon \"E\" 1945, ATF Iwo Jima", "ATF"},
      {"Korean Geodetic System 1995", "KGS"},
      {"Bessel (NL.RD)", "RD-OLD"},
      {"WGS 1984", "WGE"},
      // The two late re-assignments replace the first names.
      {"NAD 1927, NAS-S", "NAS-D"},
      {"s-42, SPK", "SPK-A"},
  };
  for (const auto &Case : Cases)
    EXPECT_EQ(GeodeticDatumCreateFromOldName(Case.OldName), GeodeticDatumCreate(Case.Code)) << Case.OldName;
  for (const char *Missing : {"NAD 1927, NAS-D", "Pulkovo 1942, SPK-A", "ed50, EUR-A", "RD", ""})
    EXPECT_EQ(ErrorOf<EGeodeticsError>([&] { GeodeticDatumCreateFromOldName(Missing); }),
              std::string("GeodeticDatumCreateFromOldName: Unknown geodetic datum \"") + Missing + "\"")
        << Missing;
}

TEST(GeodeticDatum, OldInitializeOfUnknownCodeRaises) {
  EXPECT_EQ(ErrorOf<EGeodeticsError>([] { GeodeticDatumOldInitialize("Anything", "NOPE"); }),
            "GeodeticDatumOldInitialize: Datum not found.");
}

TEST(GeodeticDatum, FindOrCreateReturnsFixedRowsForTheirParameters) {
  const TGeodeticDatum *RDOld = GeodeticDatumCreate("RD-OLD");
  EXPECT_EQ(GeodeticDatumCreateFromParameters(GeodeticEllipsoidCreate("BR"), RDOld->DX, RDOld->DY, RDOld->DZ,
                                              RDOld->RX, RDOld->RY, RDOld->RZ, RDOld->Scale),
            RDOld);
  // A zero shift on WGS 84 meets "WGE" before "KGS" when scanning from the end.
  EXPECT_EQ(GeodeticDatumCreateFromShift({52 * std::numbers::pi / 180, 5 * std::numbers::pi / 180}, 0, 0), GeodeticDatumCreate("WGE"));
}

TEST(GeodeticDatum, FindOrCreateKeepsOneCustomRecordPerParameterSet) {
  const TGeodeticEllipsoid *IN = GeodeticEllipsoidCreate("IN");
  const TGeodeticDatum *Custom = GeodeticDatumCreateFromParameters(IN, -80, 90, -110, 1e-6, 0, 0, 1.000001);
  EXPECT_TRUE(Custom->Code.empty());
  EXPECT_EQ(Custom->OldName, nullptr);
  EXPECT_FALSE(Custom->IsWGS84);
  EXPECT_EQ(GeodeticDatumCreateFromParameters(IN, -80, 90, -110, 1e-6, 0, 0, 1.000001), Custom);
  EXPECT_NE(GeodeticDatumCreateFromParameters(IN, -80, 90, -110, 1e-6, 0, 0, 1.000002), Custom);
}

TEST(GeodeticDatum, FindOrCreateFromSeveralThreadsAgreesOnOneRecord) {
  const TGeodeticEllipsoid *KA = GeodeticEllipsoidCreate("KA");
  std::vector<const TGeodeticDatum *> Results(4, nullptr);
  std::vector<std::thread> Threads;
  for (size_t t = 0; t < Results.size(); ++t)
    Threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i)
        Results[t] = GeodeticDatumCreateFromParameters(KA, 23.5, -124.5, -82.5, 0, 0, 0, 1);
    });
  for (std::thread &Thread : Threads)
    Thread.join();
  for (const TGeodeticDatum *Result : Results)
    EXPECT_EQ(Result, Results[0]);
}

TEST(GeodeticDatum, InvalidParametersRaise) {
  const TGeodeticEllipsoid *WE = GeodeticEllipsoidCreate("WE");
  const double Nan = std::nan("");
  const double Inf = HUGE_VAL;
  struct {
    const TGeodeticEllipsoid *Ellipsoid;
    double DX, RZ, Scale;
  } const Cases[] = {{WE, Nan, 0, 1}, {WE, 0, Inf, 1}, {WE, 0, 0, 0}, {WE, 0, 0, -1}, {WE, 0, 0, Nan}, {nullptr, 0, 0, 1}};
  for (size_t i = 0; i < std::size(Cases); ++i)
    EXPECT_EQ(ErrorOf<EGeodeticsError>([&] {
                GeodeticDatumCreateFromParameters(Cases[i].Ellipsoid, Cases[i].DX, 0, 0, 0, 0, Cases[i].RZ,
                                                  Cases[i].Scale);
              }),
              "GeodeticDatumCreateFromParameters: Invalid datum parameters.")
        << "case " << i;
}

TEST(GeodeticDatum, MatricesOfWGS84AreIdentity) {
  const TGeodeticDatum *WGE = WGS84Datum();
  for (int Row = 0; Row < 4; ++Row)
    for (int Col = 0; Col < 4; ++Col) {
      EXPECT_EQ(WGE->ToWGS84.M[Row][Col], Row == Col ? 1.0 : 0.0);
      EXPECT_EQ(WGE->ToLocal.M[Row][Col], Row == Col ? 1.0 : 0.0);
    }
}

TEST(GeodeticDatum, ThreeParameterShiftIsATranslationInThePublishedFrame) {
  // NIMA shifts are published in the usual frame (Y east); internally Y points west.
  const TGeodeticDatum *EUR = GeodeticDatumCreate("EUR-A");
  const TDoublePoint3 P{3900000, -300000, 5000000};
  const TDoublePoint3 Q = TransformPoint(P, EUR->ToWGS84);
  EXPECT_DOUBLE_EQ(Q.X - P.X, -87);
  EXPECT_DOUBLE_EQ(Q.Y - P.Y, +96);
  EXPECT_DOUBLE_EQ(Q.Z - P.Z, -120);
}

TEST(GeodeticDatum, SevenParameterRowsFollowTheCoordinateFrameConvention) {
  // EPSG Guidance Note 7-2, section 2.4.3.3 worked example (WGS 72 to WGS 84):
  // tZ = +4.5 m, rZ = -0.554" in the coordinate-frame convention (+0.554" as a
  // position vector), dS = +0.219 ppm; (3657660.66, 255768.55, 5201382.11) goes
  // to (3657660.78, 255778.43, 5201387.75), published to the centimetre.
  // Internal form: RZ = -rZ, DY = -tY, Y negated.
  const TGeodeticDatum *WGS72 = GeodeticDatumCreateFromParameters(GeodeticEllipsoidCreate("WD"), 0, -0.0, 4.5, 0,
                                                                  0, 0.554 * ArcSecond, 1 + 0.219e-6);
  const TDoublePoint3 Out = TransformPoint({3657660.66, -255768.55, 5201382.11}, WGS72->ToWGS84);
  EXPECT_NEAR(Out.X, 3657660.78, 0.006);
  EXPECT_NEAR(-Out.Y, 255778.43, 0.006);
  EXPECT_NEAR(Out.Z, 5201387.75, 0.006);
}

TEST(GeodeticDatum, ToLocalInvertsToWGS84ForTheRDRow) {
  const TGeodeticDatum *RD = GeodeticDatumCreate("RD");
  const TDoublePoint3 P{3924000.25, -301000.5, 5001000.75};
  const TDoublePoint3 Back = TransformPoint(TransformPoint(P, RD->ToWGS84), RD->ToLocal);
  EXPECT_NEAR(Back.X, P.X, 1e-8);
  EXPECT_NEAR(Back.Y, P.Y, 1e-8);
  EXPECT_NEAR(Back.Z, P.Z, 1e-8);
}

TEST(GeodeticMatrix, SingularMatrixRaises) {
  TGeodeticMatrix Zero{};
  EXPECT_EQ(ErrorOf<EGeodeticsError>([&] { InvertMatrix(Zero); }), "InvertMatrix: Matrix is singular.");
}

}  // namespace

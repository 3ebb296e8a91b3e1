#include "VmDynamicLists.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

namespace {

using Ints = std::vector<int32_t>;

// Lists cannot be copied, so the tests fill them in place.
void AddAll(TIntList &list, const Ints &values) {
  for (int32_t v : values)
    list.Add(v);
}

template <class E> std::string MessageOf(const std::function<void()> &action) {
  try {
    action();
  } catch (const E &e) {
    return e.Message();
  }
  return "(nothing raised)";
}

// A list of 8-byte records that does not override Compare.
class TRecordList : public TDynamicList {
public:
  TRecordList() : TDynamicList(8, true) {}
  std::string ClassName() const override { return "TRecordList"; }
};

TEST(DynamicList, CapacityGrowsByFourThenSixteenThenAQuarter) {
  TIntList list;
  Ints capacities;
  for (int32_t i = 0; i < 118; ++i) {
    list.Add(i);
    if (capacities.empty() || capacities.back() != list.Capacity())
      capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (Ints{4, 8, 12, 28, 44, 60, 76, 95, 118}));
  for (int32_t i = 0; i < 118; ++i)
    ASSERT_EQ(list[i], i);
}

TEST(DynamicList, TFastListGrowsTheSameWay) {
  TFastList list;
  Ints capacities;
  int dummy[118];
  for (int &d : dummy) {
    list.Add(&d);
    if (capacities.empty() || capacities.back() != list.Capacity())
      capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (Ints{4, 8, 12, 28, 44, 60, 76, 95, 118}));
  EXPECT_EQ(list[117], &dummy[117]);
}

TEST(DynamicList, SortsAscendingAndDescending) {
  const struct {
    Ints values;
    bool descending;
    Ints sorted;
  } cases[] = {
      {{5, 1, 3}, false, {1, 3, 5}},
      {{5, 1, 3}, true, {5, 3, 1}},
      {{2, -7, 2, std::numeric_limits<int32_t>::min(), 9, 0, 2},
       false,
       {std::numeric_limits<int32_t>::min(), -7, 0, 2, 2, 2, 9}},
      {{4}, false, {4}},
      {{}, true, {}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TIntList list;
    AddAll(list, cases[i].values);
    list.SetDescending(cases[i].descending);
    list.Sort();
    EXPECT_EQ(list.ToVector(), cases[i].sorted) << "case " << i;
  }
  // A long run of many equal keys and every order.
  TIntList big;
  for (int32_t i = 0; i < 1000; ++i)
    big.Add((i * 7919) % 13);
  big.SetSorted(true);
  const Ints v = big.ToVector();
  EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
}

TEST(DynamicList, SettingDescendingOnASortedListSortsItAgain) {
  TIntList list;
  AddAll(list, {3, 1, 5});
  list.SetSorted(true);
  EXPECT_EQ(list.ToVector(), (Ints{1, 3, 5}));
  list.SetDescending(true);
  EXPECT_EQ(list.ToVector(), (Ints{5, 3, 1}));
  list.SetSorted(false);
  list.SetDescending(false);
  EXPECT_EQ(list.ToVector(), (Ints{5, 3, 1})) << "an unsorted list keeps its order";
}

TEST(DynamicList, SortedAddFindsTheInsertionPointAndRefusesDuplicates) {
  TIntList list;
  AddAll(list, {1, 3, 5});
  list.SetSorted(true);
  EXPECT_EQ(MessageOf<EListError>([&] { list.Add(3); }), "TDynamicList.Add: Duplicate items are not allowed.");
  EXPECT_EQ(list.ToVector(), (Ints{1, 3, 5}));
  EXPECT_EQ(list.Add(4), 2);
  EXPECT_EQ(list.Add(0), 0);
  EXPECT_EQ(list.Add(9), 5);
  list.SetDuplicates(true);
  EXPECT_EQ(list.Add(3), 2);
  EXPECT_EQ(list.ToVector(), (Ints{0, 1, 3, 3, 4, 5, 9}));

  int32_t index = -1;
  EXPECT_TRUE(list.Find(3, index));
  EXPECT_TRUE(index == 2 || index == 3);
  EXPECT_FALSE(list.Find(2, index));
  EXPECT_EQ(index, 2) << "the insertion point";
  EXPECT_FALSE(list.Find(10, index));
  EXPECT_EQ(index, 7);
}

TEST(DynamicList, IndexOf) {
  TIntList unsorted;
  AddAll(unsorted, {7, 7, 2});
  EXPECT_EQ(unsorted.IndexOf(7), 0);
  EXPECT_EQ(unsorted.IndexOf(2), 2);
  EXPECT_EQ(unsorted.IndexOf(4), -1);
  unsorted.SetSorted(true);
  EXPECT_EQ(unsorted.IndexOf(2), 0);
  EXPECT_EQ(unsorted.IndexOf(4), -1);
}

TEST(DynamicList, FillAndSetCount) {
  TIntList list;
  list.SetCount(3);
  EXPECT_EQ(list.ToVector(), (Ints{0, 0, 0}));
  list.SetCount(5);
  list.Fill(9);
  EXPECT_EQ(list.ToVector(), (Ints{9, 9, 9, 9, 9}));
  list.SetCount(2);
  EXPECT_EQ(list.Capacity(), 5) << "shrinking keeps the storage";
  list.SetCount(4);
  EXPECT_EQ(list.ToVector(), (Ints{9, 9, 0, 0})) << "regrown items are zero";
  for (int32_t n : {1, 2, 3, 7, 8, 1000}) {
    TIntList l;
    l.SetCount(n);
    l.Fill(-4);
    EXPECT_EQ(l.ToVector(), Ints(static_cast<size_t>(n), -4)) << n;
  }
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
  EXPECT_EQ(MessageOf<EListError>([&] { list.SetCount(-1); }), "List count out of bounds (-1)");
}

TEST(DynamicList, InsertDeleteExchange) {
  TIntList list;
  AddAll(list, {1, 2, 3});
  list.Insert(0, 0);
  list.Insert(4, 4);
  list.Insert(2, 9);
  EXPECT_EQ(list.ToVector(), (Ints{0, 1, 9, 2, 3, 4}));
  list.Delete(2);
  list.Delete(4);
  list.Exchange(0, 3);
  EXPECT_EQ(list.ToVector(), (Ints{3, 1, 2, 0}));
  EXPECT_EQ(MessageOf<EListError>([&] { list.Delete(4); }), "List index out of bounds (4)");
  EXPECT_EQ(MessageOf<EListError>([&] { list.Insert(5, 1); }), "List index out of bounds (5)");
  EXPECT_EQ(MessageOf<EListError>([&] { list.Exchange(-1, 0); }), "List index out of bounds (-1)");
}

TEST(DynamicList, ContractAssertionsNameTheUnitAndLine) {
  TIntList sorted;
  AddAll(sorted, {1, 2});
  sorted.SetSorted(true);
  TRecordList records;
  const struct {
    std::function<void()> action;
    std::string message;
  } cases[] = {
      {[&] { sorted.SetCapacity(1); },
       "Cannot set the capacity smaller than the number of items in the list. (VmLib\\VmDynamicLists, line 842)"},
      {[&] { sorted.Insert(0, 5); }, "Cannot insert into a sorted list. (VmLib\\VmDynamicLists, line 749)"},
      {[&] { records.Assign(sorted); },
       "The source item size must be equal to the destination item size. (VmLib\\VmDynamicLists, line 533)"},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(MessageOf<EAssertionFailed>(cases[i].action), cases[i].message) << "case " << i;
}

TEST(DynamicList, ListErrors) {
  TRecordList records;
  const uint8_t item[8] = {};
  records.Add(item);
  records.Add(item);
  TIntList ints;
  const struct {
    std::function<void()> action;
    std::string message;
  } cases[] = {
      {[&] { records.Sort(); }, "TDynamicList.Compare: TRecordList does not support sorting."},
      {[&] { records.IndexOf(item); }, "TDynamicList.Compare: TRecordList does not support sorting."},
      {[&] { records.SetSorted(true); }, "TDynamicList.Compare: TRecordList does not support sorting."},
      {[&] { ints.SetCapacity(std::numeric_limits<int32_t>::max() / 4); },
       "TDynamicList.SetCapacity: The maximum size of the list has been reached."},
      {[&] { TDynamicList empty(0, false); }, "TDynamicList.Create: The item size must be greater than zero."},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(MessageOf<EListError>(cases[i].action), cases[i].message) << "case " << i;
  EXPECT_FALSE(records.Sorted()) << "a failed sort does not mark the list sorted";
  // The limit keeps one item in reserve even for 1-byte items.
  TDynamicList bytes(1, true);
  EXPECT_EQ(MessageOf<EListError>([&] { bytes.SetCapacity(std::numeric_limits<int32_t>::max()); }),
            "TDynamicList.SetCapacity: The maximum size of the list has been reached.");
}

TEST(DynamicList, AssignCopiesItemsButNotFlags) {
  TIntList source;
  AddAll(source, {4, 2, 8});
  source.SetSorted(true);
  TIntList copy;
  AddAll(copy, {1, 1, 1, 1, 1, 1, 1});
  copy.Assign(source);
  EXPECT_EQ(copy.ToVector(), (Ints{2, 4, 8}));
  EXPECT_EQ(copy.Capacity(), 3);
  EXPECT_FALSE(copy.Sorted());
  TPersistent other;
  EXPECT_EQ(MessageOf<EConvertError>([&] { copy.Assign(other); }), "Cannot assign a TPersistent to a TIntList");
}

TEST(DynamicList, BinaryStreamRoundTrip) {
  TIntList list;
  AddAll(list, {5, -1, 3});
  TMemoryStream stream;
  list.SaveToStream(stream);
  EXPECT_EQ(stream.Bytes(), (std::vector<uint8_t>{3, 0, 0, 0, 5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}));

  TIntList loaded;
  AddAll(loaded, {7});
  stream.SetPosition(0);
  loaded.LoadFromStream(stream);
  EXPECT_EQ(loaded.ToVector(), (Ints{5, -1, 3}));
  EXPECT_EQ(loaded.Capacity(), 3);

  TIntList sorted;
  sorted.SetSorted(true);
  stream.SetPosition(0);
  sorted.LoadFromStream(stream);
  EXPECT_EQ(sorted.ToVector(), (Ints{-1, 3, 5})) << "a sorted list sorts what it loads";
}

TEST(DynamicList, CorruptStreamsRaiseAndLeaveTheListAsItWas) {
  const struct {
    std::vector<uint8_t> bytes;
    std::string message;
  } cases[] = {
      {{2, 0, 0, 0, 1, 0, 0, 0}, "Stream read error"}, // one item short
      {{0xFF, 0xFF, 0xFF, 0x7F}, "List count out of bounds (2147483647)"},
      {{0xF0, 0xFF, 0xFF, 0x0F, 1, 2, 3, 4}, "Stream read error"}, // huge but possible count
      {{0xFE, 0xFF, 0xFF, 0xFF}, "List count out of bounds (-2)"},
      {{1, 0}, "Stream read error"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TIntList list;
    AddAll(list, {42});
    TMemoryStream stream(cases[i].bytes);
    std::string message = "(nothing raised)";
    try {
      list.LoadFromStream(stream);
    } catch (const Exception &e) {
      message = e.Message();
    }
    EXPECT_EQ(message, cases[i].message) << "case " << i;
    EXPECT_EQ(list.ToVector(), (Ints{42})) << "case " << i;
  }
}

TEST(DynamicList, DestructionCallsOnDestroyAndChecksReferences) {
  bool called = false;
  {
    TIntList list;
    list.OnDestroy = [&](TDynamicList &l) { called = l.Count() == 1; };
    list.Add(1);
  }
  EXPECT_TRUE(called);

  auto *counted = new TIntList;
  counted->AddRef();
  counted->AddRef();
  EXPECT_EQ(counted->Release(), 1);
  EXPECT_EQ(MessageOf<EInvalidPointer>([&] { delete counted; }), "Reference count not zero.");

  bool released = false;
  auto *owned = new TIntList;
  owned->OnDestroy = [&](TDynamicList &) { released = true; };
  owned->AddRef();
  EXPECT_EQ(owned->Release(), 0);
  EXPECT_TRUE(released) << "the last release destroys the list";
}

TEST(FastList, DeleteSetCountAndTheCreatingAdd) {
  int a = 1, b = 2, c = 3;
  std::unique_ptr<TFastList> list;
  EXPECT_EQ(FastListAdd(list, &a), 0);
  ASSERT_TRUE(list);
  EXPECT_EQ(FastListAdd(list, &b), 1);
  FastListAdd(list, &c);
  list->Delete(1);
  EXPECT_EQ(list->Count(), 2);
  EXPECT_EQ((*list)[1], &c);
  list->SetCount(4);
  EXPECT_EQ((*list)[3], nullptr);
  EXPECT_EQ(MessageOf<EListError>([&] { list->Delete(4); }), "List index out of bounds (4)");
  EXPECT_EQ(MessageOf<EListError>([&] { list->SetCapacity(3); }), "List capacity out of bounds (3)");
  list->Clear();
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(list->Capacity(), 0);
}

// ---------------------------------------------------------------------------
// TPolygon

TEST(Polygon, ContainsTakesTheCornersHalfAPixelEarlier) {
  TPolygon square;
  for (TPoint corner : {TPoint{0, 0}, TPoint{10, 0}, TPoint{10, 10}, TPoint{0, 10}})
    square.AddPoint(corner);
  const struct {
    TPoint point;
    bool inside;
  } cases[] = {
      {{5, 5}, true}, {{0, 5}, true},   {{9, 5}, true},   {{10, 5}, false}, {{-1, 5}, false}, {{5, 0}, true},
      {{5, 9}, true}, {{5, 10}, false}, {{5, -1}, false}, {{0, 0}, true},   {{9, 9}, true},   {{10, 10}, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(square.Contains(cases[i].point), cases[i].inside)
        << "case " << i << " (" << cases[i].point.X << ", " << cases[i].point.Y << ")";
}

TEST(Polygon, SlopedAndConcaveOutlines) {
  // A triangle with a sloped side and a U shape whose notch is outside.
  TPolygon triangle;
  for (TPoint p : {TPoint{0, 0}, TPoint{20, 0}, TPoint{0, 20}})
    triangle.AddPoint(p);
  EXPECT_TRUE(triangle.Contains({2, 2}));
  EXPECT_TRUE(triangle.Contains({9, 10}));
  EXPECT_FALSE(triangle.Contains({11, 10}));
  EXPECT_FALSE(triangle.Contains({15, 15}));

  TPolygon u;
  for (TPoint p : {TPoint{0, 0}, TPoint{30, 0}, TPoint{30, 30}, TPoint{20, 30}, TPoint{20, 10}, TPoint{10, 10},
                   TPoint{10, 30}, TPoint{0, 30}})
    u.AddPoint(p);
  EXPECT_TRUE(u.Contains({5, 20}));
  EXPECT_TRUE(u.Contains({25, 20}));
  EXPECT_FALSE(u.Contains({15, 20})) << "inside the notch";
  EXPECT_TRUE(u.Contains({15, 5}));
}

TEST(Polygon, ChangesInvalidateThePreparedEdges) {
  TPolygon p;
  EXPECT_FALSE(p.Contains({0, 0})) << "no points, nothing inside";
  for (TPoint c : {TPoint{0, 0}, TPoint{10, 0}, TPoint{10, 10}, TPoint{0, 10}})
    p.AddPoint(c);
  EXPECT_FALSE(p.Contains({15, 5}));
  p.DeletePoint(1);
  p.DeletePoint(1);
  p.AddPoint({20, 0});
  p.AddPoint({20, 10});
  // Now (0,0) (0,10) (20,0) (20,10): a bow tie.
  EXPECT_FALSE(p.Contains({10, 2})) << "between the crossing edges";
  EXPECT_TRUE(p.Contains({2, 5}));
  p.Clear();
  EXPECT_EQ(p.Count(), 0);
  EXPECT_FALSE(p.Contains({2, 5}));
}

TEST(Polygon, AssignAndLoadFromStream) {
  TMemoryStream stream(
      {4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0});
  TPolygon loaded;
  loaded.AddPoint({99, 99});
  loaded.LoadFromStream(stream);
  ASSERT_EQ(loaded.Count(), 4);
  EXPECT_EQ(loaded.GetPoint(2), (TPoint{10, 10}));
  EXPECT_TRUE(loaded.Contains({9, 5}));

  TPolygon copy;
  copy.Assign(loaded);
  EXPECT_EQ(copy.Count(), 4);
  EXPECT_TRUE(copy.Contains({0, 9}));
  EXPECT_FALSE(copy.Contains({10, 9}));

  TMemoryStream truncated({0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0});
  EXPECT_EQ(MessageOf<EReadError>([&] { loaded.LoadFromStream(truncated); }), "Stream read error")
      << "a count beyond the data stops at the end of the stream";
  EXPECT_EQ(loaded.Count(), 0);
}

} // namespace

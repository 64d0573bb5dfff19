// Variants, the property bag's text form, GUIDs and the registration store.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/automation/dispatch.h"
#include "platform/automation/registry.h"
#include "tests/velkor/host_support.h"

using namespace platform::automation;

TEST(AutomationVariant, CoercionsAsTheAutomationLayerDoesThem) {
  // True is -1; halves round to even.
  const std::pair<Variant, std::int32_t> longs[] = {{true, -1}, {" 42 ", 42}, {2.5, 2}, {3.5f, 4}, {Variant(), 0}};
  for (const auto& [from, expected] : longs) {
    std::int32_t i = 7;
    EXPECT_EQ(from.toInt32(i), S_OK) << expected;
    EXPECT_EQ(i, expected);
  }
  std::int32_t i = 7;
  EXPECT_EQ(Variant("abc").toInt32(i), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Variant(1e12).toInt32(i), DISP_E_OVERFLOW);
  EXPECT_EQ(Variant::null().toInt32(i), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(i, 7);  // unchanged after a failure

  const std::pair<Variant, bool> bools[] = {{"True", true}, {"0", false}, {std::int16_t{5}, true}};
  for (const auto& [from, expected] : bools) {
    bool b = !expected;
    EXPECT_EQ(from.toBool(b), S_OK) << expected;
    EXPECT_EQ(b, expected);
  }

  const std::pair<Variant, const char*> texts[] = {{std::int32_t{-12}, "-12"}, {0.5, "0.5"}, {Variant(), ""}};
  for (const auto& [from, expected] : texts) {
    std::string t = "x";
    EXPECT_EQ(from.toText(t), S_OK) << expected;
    EXPECT_EQ(t, expected);
  }
  std::string t;
  EXPECT_EQ(Variant::bytes({1}).toText(t), DISP_E_TYPEMISMATCH);
}

TEST(AutomationVariant, ArraysKeepBoundsAndCopiesOwnTheirData) {
  Variant a = Variant::bytes({1, 2, 3}, 5);
  ASSERT_NE(a.array(), nullptr);
  EXPECT_EQ(a.array()->lowerBound, 5);
  EXPECT_EQ(a.array()->upperBound(), 7);
  Variant copy = a;
  copy.array()->bytes[0] = 9;
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(a.toByteArray(bytes), S_OK);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_FALSE(a == copy);

  SafeArray mixed;
  mixed.elementsAreBytes = false;
  mixed.elements = {Variant("7"), Variant(true)};
  EXPECT_EQ(Variant(mixed).toByteArray(bytes), DISP_E_OVERFLOW);  // True is -1
  mixed.elements = {Variant("7"), Variant(255.0)};
  ASSERT_EQ(Variant(mixed).toByteArray(bytes), S_OK);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{7, 255}));
  SafeArray locked;
  locked.locked = true;
  EXPECT_EQ(Variant(locked).toByteArray(bytes), E_FAIL);
  EXPECT_EQ(Variant("x").toByteArray(bytes), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(SafeArray{}.upperBound(), -1);

  // Refilling a variant never reaches into a copy made of it, whatever it held before.
  Variant reused = Variant::bytes({1, 2, 3}, 5);
  const Variant kept = reused;
  const std::uint8_t next[] = {4, 5};
  reused.assignBytes(next);
  EXPECT_EQ(kept, Variant::bytes({1, 2, 3}, 5));
  EXPECT_EQ(reused, Variant::bytes({4, 5}));
  reused.assignBytes({});
  EXPECT_EQ(reused.array()->size(), 0u);
  EXPECT_TRUE(reused.byteElements().empty());
  for (Variant before : {Variant(locked), Variant(mixed), Variant("text")}) {
    before.assignBytes(next, 1);
    EXPECT_EQ(before, Variant::bytes({4, 5}, 1));
    EXPECT_EQ(std::vector<std::uint8_t>(before.byteElements().begin(), before.byteElements().end()),
              (std::vector<std::uint8_t>{4, 5}));
  }
  EXPECT_TRUE(Variant(locked).byteElements().empty());
  EXPECT_TRUE(Variant(mixed).byteElements().empty());
}

TEST(AutomationPropertyBag, TextRoundTripAndDamagedInput) {
  PropertyBag bag;
  bag.write("Number", Variant(std::int32_t{-5}));
  bag.write("Short", Variant(std::int16_t{7}));
  bag.write("Flag", Variant(true));
  bag.write("Name", Variant("quote \" backslash \\ line\nend\x01"));
  bag.write("Blob", Variant::bytes({0x00, 0xFF, 0x10}, 1));
  bag.write("Real", Variant(1.25));
  bag.write("Nothing", Variant());
  bag.write("number", Variant(std::int32_t{6}));  // names compare without case
  PropertyBag back;
  ASSERT_EQ(PropertyBag::fromText(bag.toText(), back), S_OK);
  for (const char* name : {"Number", "Short", "Flag", "Name", "Blob", "Real", "Nothing"}) {
    Variant a, b;
    ASSERT_EQ(bag.read(name, a), S_OK);
    ASSERT_EQ(back.read(name, b), S_OK) << name;
    EXPECT_EQ(a, b) << name;
  }
  Variant v;
  back.read("NUMBER", v);
  EXPECT_EQ(v, Variant(std::int32_t{6}));
  EXPECT_EQ(back.read("Missing", v), E_INVALIDARG);

  PropertyBag untouched;
  untouched.write("Keep", Variant(1));
  for (const char* bad : {"NoEquals\n", "A = I4:x\n", "A = Text:\"open\n", "A = Bytes:0:GG\n", "A = Text:\"\\x4\"\n",
                          " = I4:1\n", "A = Bool:yes\n", "A = Huh:1\n"}) {
    EXPECT_EQ(PropertyBag::fromText(bad, untouched), E_INVALIDARG) << bad;
  }
  EXPECT_TRUE(untouched.contains("Keep"));
  EXPECT_EQ(untouched.loadFile("/nonexistent/form.txt"), E_FAIL);
}

TEST(AutomationRegistry, GuidsAndStore) {
  const auto g = Guid::parse("{14115ec5-13c7-11d5-9b80-000039344f06}");
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->toString(), "{14115EC5-13C7-11D5-9B80-000039344F06}");
  EXPECT_EQ(g->data1, 0x14115EC5u);
  EXPECT_EQ(g->data4[7], 0x06);
  for (const char* bad : {"14115EC5-13C7-11D5-9B80-000039344F06", "{14115EC5-13C7-11D5-9B80-000039344F0}",
                          "{14115EC5x13C7-11D5-9B80-000039344F06}", "{14115EC5-13C7-11D5-9B80-00003934+F06}", ""})
    EXPECT_FALSE(Guid::parse(bad).has_value()) << bad;

  const testhost::ScratchFolder root("automation_store");
  RegistrationStore store(root.path.string());
  EXPECT_EQ(store.setValue("CLSID/{X}/InprocServer32", "", "/lib/a.so"), S_OK);
  EXPECT_EQ(store.setValue("CLSID/{X}/InprocServer32", "ThreadingModel", "Apartment"), S_OK);
  EXPECT_EQ(store.setValue("CLSID\\{X}\\InprocServer32", "", "/lib/b.so"), S_OK);
  EXPECT_EQ(store.value("CLSID/{X}/InprocServer32"), "/lib/b.so");
  EXPECT_EQ(store.value("CLSID/{X}/InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(store.subkeys("CLSID"), (std::vector<std::string>{"{X}"}));
  EXPECT_FALSE(store.value("CLSID/{Y}").has_value());
  // Keys never leave the root, values stay on one line.
  EXPECT_EQ(store.setValue("../escape", "", "x"), E_INVALIDARG);
  EXPECT_EQ(store.setValue("a/./b", "", "x"), E_INVALIDARG);
  EXPECT_EQ(store.setValue("", "", "x"), E_INVALIDARG);
  EXPECT_EQ(store.setValue("a", "", "two\nlines"), E_INVALIDARG);
  EXPECT_FALSE(std::filesystem::exists(root.path.parent_path() / "escape"));
  EXPECT_EQ(store.removeKey("CLSID/{X}"), S_OK);
  EXPECT_FALSE(store.value("CLSID/{X}/InprocServer32").has_value());

  setenv("QUILLON_REGISTRY", "/tmp/own-root", 1);
  EXPECT_EQ(RegistrationStore::defaultRoot(), "/tmp/own-root");
  unsetenv("QUILLON_REGISTRY");
  setenv("XDG_DATA_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(RegistrationStore::defaultRoot(), "/tmp/xdg/quillon/registry");
  unsetenv("XDG_DATA_HOME");
}

TEST(AutomationRegistry, StoresAreSearchedUserFirstAndAnExplicitStoreAlone) {
  const testhost::ScratchFolder base("automation_stores");
  const std::string system = base / "system";
  const std::string user = base / "data/quillon/registry";
  const std::string progId = "VELKOR.VelkorCtrl.1";
  const std::string clsid = "{14115EC5-13C7-11D5-9B80-000039344F06}";
  auto name = [&](const std::string& root, const std::string& library) {
    RegistrationStore store(root);
    store.setValue(progId + "/CLSID", "", clsid);
    store.setValue("CLSID/" + clsid + "/InprocServer32", "", library);
  };
  auto roots = [&] {
    std::vector<std::string> out;
    for (const RegistrationStore& store : SearchedStores(system)) out.push_back(store.root());
    return out;
  };
  auto libraryFound = [&](std::string_view cls) {
    const auto found = FindServer(SearchedStores(system), cls);
    return found ? found->storeRoot + " " + found->library : std::string("none");
  };

  unsetenv("QUILLON_REGISTRY");
  setenv("XDG_DATA_HOME", (base / "data").c_str(), 1);
  EXPECT_EQ(roots(), (std::vector<std::string>{user, system}));
  EXPECT_EQ(libraryFound(progId), "none");
  name(system, "/usr/lib/system.so");
  EXPECT_EQ(libraryFound(progId), system + " /usr/lib/system.so");
  EXPECT_EQ(libraryFound(clsid), system + " /usr/lib/system.so");
  name(user, "/home/u/own.so");
  EXPECT_EQ(libraryFound(progId), user + " /home/u/own.so");
  // A class the user's store knows but names no library for is looked up further on.
  RegistrationStore(user).removeKey("CLSID/" + clsid + "/InprocServer32");
  EXPECT_EQ(libraryFound(progId), system + " /usr/lib/system.so");

  // An explicit store is the only one: what the others name is never served from it.
  const std::string own = base / "own";
  setenv("QUILLON_REGISTRY", own.c_str(), 1);
  EXPECT_EQ(roots(), (std::vector<std::string>{own}));
  EXPECT_EQ(libraryFound(progId), "none");
  unsetenv("QUILLON_REGISTRY");
  unsetenv("XDG_DATA_HOME");
}

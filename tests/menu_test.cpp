// The plugin menu tree and its handler.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

class MenuTest : public testing::PluginFixture {
 protected:
  static std::string RefText(void* ref) {
    return ref == nullptr ? "<null>" : static_cast<const char*>(ref);
  }
};

TEST_F(MenuTest, StartBuildsTheTree) {
  Start();
  const auto plugins = host().MenuItems(host().PluginsMenu());
  ASSERT_EQ(plugins.size(), 1u);
  EXPECT_EQ(plugins[0].name, "TARVOS");
  EXPECT_EQ(plugins[0].force_english, 1);
  EXPECT_EQ(plugins[0].item_ref, nullptr);
  const XPLMMenuID menu = plugins[0].submenu;
  ASSERT_TRUE(host().MenuExists(menu));
  EXPECT_EQ(host().MenuName(menu), "TARVOS");

  const auto items = host().MenuItems(menu);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, "ATC Menu");
  EXPECT_EQ(RefText(items[0].item_ref), "Open ATC");
  EXPECT_EQ(items[1].name, "TARVOS settings");
  EXPECT_EQ(items[1].item_ref, nullptr);
  const XPLMMenuID settings = items[1].submenu;
  ASSERT_TRUE(host().MenuExists(settings));
  EXPECT_EQ(host().MenuName(settings), "TARVOS");

  const auto settings_items = host().MenuItems(settings);
  ASSERT_EQ(settings_items.size(), 1u);
  EXPECT_EQ(settings_items[0].name, "Performance settings");
  EXPECT_EQ(RefText(settings_items[0].item_ref), "Open performance");
  EXPECT_EQ(host().LiveMenuCount(), 2);
}

TEST_F(MenuTest, StopDestroysBothMenus) {
  Start();
  Stop();
  EXPECT_EQ(host().LiveMenuCount(), 0);
}

}  // namespace
}  // namespace tarvos

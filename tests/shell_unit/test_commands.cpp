// Command routing of the frame and the document windows, the enabling rules, and the toolbar's buttons.
#include "shell/commands.h"

#include "shell/resource.h"

#include <gtest/gtest.h>

namespace resivex::shell {
namespace {

struct frame_route {
  unsigned id;
  frame_command expected;
};

TEST(FrameCommands, EachMenuIdReachesItsCommand) {
  const frame_route table[] = {
      {9068, frame_command::help},
      {9069, frame_command::about},
      {9070, frame_command::new_document},
      {9071, frame_command::exit},
      {9072, frame_command::open},
      {9076, frame_command::cascade},
      {9080, frame_command::tile_vertical},
      {9082, frame_command::tile_horizontal},
      {9081, frame_command::arrange_icons},
      // The document's own commands, and any other id, go to the active document.
      {9073, frame_command::to_active_document},
      {9074, frame_command::to_active_document},
      {9075, frame_command::to_active_document},
      {9077, frame_command::to_active_document},
      {9078, frame_command::to_active_document},
      {9079, frame_command::to_active_document},
      {0, frame_command::to_active_document},
      {9067, frame_command::to_active_document},
      {9083, frame_command::cancel_conversion},
      {9084, frame_command::to_active_document},
      {49999, frame_command::to_active_document},
      // The MDI client's window list starts at 50000.
      {50000, frame_command::window_list},
      {50001, frame_command::window_list},
      {65535, frame_command::window_list},
  };
  for (const frame_route& r : table) EXPECT_EQ(route_frame_command(r.id), r.expected) << "id " << r.id;
}

TEST(FrameCommands, ResourceIdsAreTheDocumentedOnes) {
  EXPECT_EQ(IDM_HELP_HELP, 9068);
  EXPECT_EQ(IDM_HELP_ABOUT, 9069);
  EXPECT_EQ(IDM_FILE_NEW, 9070);
  EXPECT_EQ(IDM_FILE_EXIT, 9071);
  EXPECT_EQ(IDM_FILE_OPEN, 9072);
  EXPECT_EQ(IDM_FILE_SAVE, 9073);
  EXPECT_EQ(IDM_FILE_SAVE_AS, 9074);
  EXPECT_EQ(IDM_EDIT_UNDO, 9075);
  EXPECT_EQ(IDM_WINDOW_CASCADE, 9076);
  EXPECT_EQ(IDM_EDIT_CUT, 9077);
  EXPECT_EQ(IDM_EDIT_COPY, 9078);
  EXPECT_EQ(IDM_EDIT_PASTE, 9079);
  EXPECT_EQ(IDM_WINDOW_TILE_VERTICAL, 9080);
  EXPECT_EQ(IDM_WINDOW_ARRANGE_ICONS, 9081);
  EXPECT_EQ(IDM_WINDOW_TILE_HORIZONTAL, 9082);
  EXPECT_EQ(IDM_FILE_CANCEL, 9083);
  EXPECT_EQ(IDM_WINDOW_FIRST_CHILD, 50000);
  EXPECT_EQ(IDC_STATUS_BAR, 4997);
  EXPECT_EQ(IDC_TOOLBAR, 4998);
  EXPECT_EQ(IDC_MDI_CLIENT, 4999);
  EXPECT_EQ(IDC_DOCUMENT_EDIT, 2000);
  EXPECT_EQ(IDI_RESIVEX, 1000);
}

struct document_route {
  unsigned id;
  document_command expected;
};

TEST(DocumentCommands, EachForwardedIdReachesItsCommand) {
  const document_route table[] = {
      {9073, document_command::save},  {9074, document_command::save_as}, {9075, document_command::undo},
      {9077, document_command::cut},   {9078, document_command::copy},    {9079, document_command::paste},
      {9070, document_command::none},  {9076, document_command::none},    {0, document_command::none},
      {50000, document_command::none},
  };
  for (const document_route& r : table) EXPECT_EQ(route_document_command(r.id), r.expected) << "id " << r.id;
}

TEST(CommandStates, DocumentCommandsNeedAnActiveDocumentOpenWaitsForTheRunAndCancelNeedsOne) {
  struct row {
    bool document, running;
    command_states expected;
  };
  const row table[] = {
      {false, false, {true, false, false, false, false, false}},
      {true, false, {true, true, true, true, true, false}},
      {false, true, {false, false, false, false, false, true}},
      {true, true, {false, true, true, true, true, true}},
  };
  for (const row& r : table) {
    const command_states s = states_for(r.document, r.running);
    const std::string where =
        std::string("document ") + (r.document ? "active" : "none") + ", run " + (r.running ? "in progress" : "idle");
    EXPECT_EQ(s.open, r.expected.open) << where;
    EXPECT_EQ(s.save, r.expected.save) << where;
    EXPECT_EQ(s.save_as, r.expected.save_as) << where;
    EXPECT_EQ(s.edit_menu, r.expected.edit_menu) << where;
    EXPECT_EQ(s.window_menu, r.expected.window_menu) << where;
    EXPECT_EQ(s.cancel, r.expected.cancel) << where;
  }
}

TEST(Toolbar, NineButtonsInTheDocumentedOrder) {
  struct expected_button {
    int bitmap;
    unsigned id;
    bool separator;
  };
  // Bitmaps of the common controls' standard set: STD_FILENEW 6, STD_FILEOPEN 7, STD_FILESAVE 8, STD_CUT 0,
  // STD_COPY 1, STD_PASTE 2, STD_UNDO 3.
  const expected_button expected[] = {{6, 9070, false}, {7, 9072, false}, {8, 9073, false},
                                      {0, 0, true},     {0, 9077, false}, {1, 9078, false},
                                      {2, 9079, false}, {0, 0, true},     {3, 9075, false}};
  ASSERT_EQ(toolbar_button_count, 9);
  for (int i = 0; i < toolbar_button_count; ++i) {
    EXPECT_EQ(toolbar_buttons[i].separator, expected[i].separator) << "button " << i + 1;
    if (expected[i].separator) continue;
    EXPECT_EQ(toolbar_buttons[i].bitmap, expected[i].bitmap) << "button " << i + 1;
    EXPECT_EQ(toolbar_buttons[i].id, expected[i].id) << "button " << i + 1;
  }
}

TEST(Toolbar, ButtonsFollowTheCommandStates) {
  const command_states idle_without_document = states_for(false, false);
  const command_states with_document = states_for(true, false);
  const command_states running = states_for(false, true);
  EXPECT_TRUE(toolbar_button_enabled(9070, idle_without_document));
  EXPECT_TRUE(toolbar_button_enabled(9070, running));
  EXPECT_TRUE(toolbar_button_enabled(9072, idle_without_document));
  EXPECT_FALSE(toolbar_button_enabled(9072, running));
  for (const unsigned id : {9073u, 9075u, 9077u, 9078u, 9079u}) {
    EXPECT_FALSE(toolbar_button_enabled(id, idle_without_document)) << id;
    EXPECT_TRUE(toolbar_button_enabled(id, with_document)) << id;
  }
  EXPECT_FALSE(toolbar_button_enabled(0, with_document));
}

}  // namespace
}  // namespace resivex::shell

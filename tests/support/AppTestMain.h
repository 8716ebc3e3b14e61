#pragma once

#include "app/ProcessSetup.h"
#include "support/GuiTestMain.h"

// For Pagegrab's windows: the process prepared as the program prepares it.
#define PAGEGRAB_GUI_TEST_MAIN(TestClass) PAGEGRAB_TEST_MAIN_WITH(TestClass, prepareProcess())

#pragma once

// What must hold before the application object exists, for the program and
// for the tests that create its window.
void prepareProcess();

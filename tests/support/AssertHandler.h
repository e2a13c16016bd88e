// Makes a failed wx assert fail the running test, in console and GUI test
// programs alike, instead of printing a message or opening a dialog.
#ifndef VORN_TESTS_SUPPORT_ASSERTHANDLER_H
#define VORN_TESTS_SUPPORT_ASSERTHANDLER_H

void InstallAssertHandler();

#endif // VORN_TESTS_SUPPORT_ASSERTHANDLER_H

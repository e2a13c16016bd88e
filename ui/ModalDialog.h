// Finding the modal dialog that runs, if any.
#ifndef VORN_UI_MODALDIALOG_H
#define VORN_UI_MODALDIALOG_H

class wxDialog;

// The first top-level dialog that is shown modally, or null.
wxDialog* FindOpenModalDialog();

#endif // VORN_UI_MODALDIALOG_H

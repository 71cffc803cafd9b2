// The options dialog: the program's options on four tabs, the skin with its preview,
// and the accounts, added, edited and removed through the account dialog.
#pragma once

#include "core/Settings.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTimeEdit;
class QToolButton;
class QTreeWidget;
class TfrmAccount;
class TMessageStore;

class TfrmOptions : public QDialog {
    Q_OBJECT
  public:
    TfrmOptions(TMessageStore& store, QWidget* owner);

    // The account dialog open at the moment, if any.
    TfrmAccount* AccountDialog() const;
    // Shows the accounts tab with the account dialog open for a new account.
    void StartAddingAccount();
    // Shows the accounts tab with the account dialog of account open, its sign-in at hand;
    // nothing when another account dialog is open or the account is gone.
    void StartSigningIn(const std::string& account);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    // OK and Apply: the controls into the settings, which save and announce them.
    void cmdApplyClick();
    // The account commands open the account dialog and act when it closes with OK.
    void cmdAccAddClick();
    void cmdAccEditClick();
    void cmdAccRemoveClick();

    QWidget* CreateEmailTab();
    QWidget* CreateSkinsTab();
    QWidget* CreateAccountsTab();
    QWidget* CreateWarningsTab();
    void LoadOptions();
    void StoreOptions(TOptions& options) const;
    void DrawPreview();
    void SoundToggled(bool on);
    void MaxWarningToggled(bool on);
    void FillAccounts();
    // The selected account's name; empty when none is selected.
    std::string SelectedAccount() const;
    // Checks the accounts added while the dialog was open, once it has closed: the tasks
    // window must not come up behind a modal dialog.
    void CheckAddedAccounts();

    TMessageStore& FStore;

    QTabWidget* pcOptions;
    QWidget* tsEmail;
    QWidget* tsSkins;
    QWidget* tsAccounts;
    QWidget* tsWarnings;
    QPushButton* cmdOK;
    QPushButton* cmdApply;
    QPushButton* cmdCancel;

    QCheckBox* chkInterval;
    QSpinBox* seMinutes;
    QCheckBox* chkSound;
    QLineEdit* txtSound;
    QToolButton* cmdPreview;
    QToolButton* cmdSound;
    QCheckBox* chkNotify;
    QCheckBox* chkScroll;
    QSpinBox* seScroll;
    QSlider* tbScrollSpeed;
    QCheckBox* chkAutoHide;
    QCheckBox* chkAutostart; // the desktop's autostart entry, not a setting of ours
    QCheckBox* chkTrayIcon;
    QCheckBox* chkQuiet;
    QTimeEdit* seQuietFrom;
    QTimeEdit* seQuietTo;

    QListWidget* lstSkins;
    QSpinBox* seButtonWidth;
    QLabel* imgPreview;

    QTreeWidget* lvAccounts;
    QPushButton* cmdAccAdd;
    QPushButton* cmdAccEdit;
    QPushButton* cmdAccRemove;

    QCheckBox* chkDelete;
    QCheckBox* chkAutoReport;
    QCheckBox* chkASOutbox;
    QCheckBox* chkMaxWarning;
    QSpinBox* seMaxSize;
    QSpinBox* seMaxLines;
    QCheckBox* chkMaxAsk;
    QCheckBox* chkHTML;

    // Names of the accounts added while the dialog is open.
    std::vector<std::string> FAddedAccounts;
    // The account list follows every change of the accounts, wherever it was made.
    TSettings::TSubscription FSettingsWatch;
};

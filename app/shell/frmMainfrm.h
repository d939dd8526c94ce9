#pragma once
// The main window: the SQL editor, the data-path and file-name boxes, the extraction options, the
// action buttons, the menus and the status line. It owns, for the whole run, the objects every
// action shares (the engine components) and the dialog of the SQL files.

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>

#include "app/shell/Controls.h"
#include "app/shell/Dialogs.h"
#include "app/shell/SqlEditor.h"
#include "data/DataSet.h"
#include "engine/KdbComponent.h"
#include "engine/kdbcnnct.h"
#include "engine/kdbset.h"
#include "engine/kdbtable.h"

namespace parvell {

class TForm1 : public QMainWindow {
public:
    // Builds the window with its design values, creates the engine components, then runs
    // FormCreate. An exception from FormCreate goes to the error box and the window keeps the
    // values of the steps not done.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The client area, without the menu bar.
    QWidget* Client() const { return client_; }

    // Folder of the practice Ostrel has open: empty, or upper case ending in a separator.
    std::string PracticeFolder;

    // Controls. Positions are in pixels at 96 dots per inch.
    TPanel* Panel1;
    TSqlEditor* Memo1;
    TLabel* Label5;
    QLineEdit* Edit1;
    TLabel* Label1;
    QLineEdit* DataExtract;
    TLabel* Label2;
    TLabel* Label4;
    TLabel* Label3;
    QPushButton* Button1;
    QPushButton* Button3;
    QPushButton* Button4;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox1;
    TRadioGroup* RadioGroup1;
    TLabel* Label7;
    QPushButton* Button5;
    QPushButton* Button2;

    // Menus and their items.
    QMenu* File1;
    QMenu* Actions1;
    QMenu* SQLStatements1;
    QAction* OpenSQL1;
    QAction* SaveSQL1;
    QAction* Exit1;
    QAction* PreviewResults1;
    QAction* ExtractData1;
    QAction* GuarantorsbyTransactionDate1;
    QAction* PatientByTransactionDate1;
    QAction* PatientDemographics1;
    QAction* PatientInsuranceDemographics1;
    QAction* DemographicsExport1;
    QAction* DemographicsExportv81;
    QAction* FixPostConversionICD10issue1;

    // The file dialog shared by Open SQL and Save SQL.
    TOpenDialog dlgSaveSQL;

    // Stores of built-in statements (the sixth, mmoPatXTrnDate, is on Form2).
    const QStringList& mmoPatDemo;
    const QStringList& mmoPatInsDemo;
    const QStringList& mmoGuarantorLables;
    const QStringList& mmoDemoExportv15;
    const QStringList& mmoDemoExportv8;

    // Life cycle.
    void FormCreate();
    void FormShow();
    void FormClose();

    // Buttons and menu items.
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void RadioGroup1Click();
    void PreviewResults1Click();
    void ExtractData1Click();
    void Exit1Click();

    // SQL workspace.
    void OpenSQL1Click();
    void SaveSQL1Click();
    void SaveSQL();
    void GuarantorsbyTransactionDate1Click();
    void PatientByTransactionDate1Click();
    void PatientDemographics1Click();
    void PatientInsuranceDemographics1Click();
    void DemographicsExport1Click();
    void DemographicsExportv81Click();
    void FixPostConversionICD10issue1Click();

    // Engine components, shared by every action for the whole run: the connection, the engine
    // settings, the query and the data source the result grid reads. Configured in
    // CreateEngineComponents() and released in DestroyEngineComponents().
    std::unique_ptr<TKdbConnection> KdbCPath;
    std::unique_ptr<TKdbSettings> KdbSettings1;
    std::unique_ptr<TKdbQuery> KdbTable1;
    std::unique_ptr<TDataSource> DataSource1;

    // Query actions (frmMainfrmActions.cpp).
    void PreviewSQL();
    int32_t ExSQL();
    // The extraction run and its writers (frmMainfrmExtract.cpp).
    void ExtractSQL();
    void ExtractCommaDelimited();
    void ExtractFixedLength(bool TabDelimited);
    int32_t GetFieldTypeLength(TFieldType DataType) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void SetTabOrder();
    void CenterOnScreen();

    // Engine components: created before FormCreate, destroyed with the window.
    void CreateEngineComponents();
    void DestroyEngineComponents();

    // The busy protocol's preparation (buttons disabled, messages processed, the connection
    // reset to the data-path box) and its last step (buttons enabled).
    void BeginQueryAction();
    void EnableActionButtons(bool enabled);
    // Gives the query the editor's lines, the selection ignored.
    void AssignEditorLines();
    // Set while a query action runs (see TActionScope).
    bool actionRunning_ = false;
    friend class TActionScope;
    TComponent engineOwner_{nullptr, "Form1"};

    // Connects a signal of `sender` to a handler of this window; an exception leaving the handler
    // goes to the application's error box.
    template <class Sender, class Signal>
    void Wire(Sender* sender, Signal signal, void (TForm1::*handler)());

    QWidget* client_;
};

}  // namespace parvell

// The options dialog: memory use, accuracy, the work folder, the two sounds
// and whether signature files stay after a run. It edits the main window's
// fields on OK only.
#pragma once

#include <string>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/std_controls.h"
#include "search/engine/main_data.h"
#include "widgets/folder_dialog.h"

namespace orv {

class TOVOptForm : public TForm {
public:
    explicit TOVOptForm(TMainData& data);
    std::string ClassName() const override { return "TOVOptForm"; }

    TRadioGroup Radio_Chach{this, "Radio_Chach", this};
    TRadioGroup Radio_Par{this, "Radio_Par", this};
    TLabeledEdit LabeledEdit1{this, "LabeledEdit1", this};
    TButton Button_Sun{this, "Button_Sun", this};
    TCheckBox Check_doitu{this, "Check_doitu", this};
    TLabeledEdit LabeledEdit2{this, "LabeledEdit2", this};
    TButton Button1{this, "Button1", this};
    TCheckBox Check_End{this, "Check_End", this};
    TLabeledEdit LabeledEdit3{this, "LabeledEdit3", this};
    TButton Button2{this, "Button2", this};
    TCheckBox Check_noDel{this, "Check_noDel", this};
    TButton Button_OK{this, "Button_OK", this};
    TButton Button_Cancel{this, "Button_Cancel", this};
    TOpenDialog OpenDialog1{this, "OpenDialog1"};
    TFolderDialog FolderDialog1{this, "FolderDialog1"};

    void FormCreate();
    void Button_OKClick();
    void Button_CancelClick();
    void Button_SunClick();
    void Button1Click();
    void Button2Click();

private:
    TMainData& data_;
};

}  // namespace orv

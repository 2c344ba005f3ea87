// The small windows of the main program: the start-up splash, the version
// dialog and the name dialog used when a setting set is stored.
#pragma once

#include <string>

#include "platform/ui/forms.h"
#include "platform/ui/std_controls.h"

namespace orv {

class TForm_splash : public TForm {
public:
    TForm_splash();
    std::string ClassName() const override { return "TForm_splash"; }
    TImage Image1{this, "Image1", this};
    TTimer Timer1{this, "Timer1"};
    void FormCreate();
};

class TForm_about : public TForm {
public:
    TForm_about();
    std::string ClassName() const override { return "TForm_about"; }
    TImage Image1{this, "Image1", this};
    TLabel Label1{this, "Label1", this};
    TLabel Label2{this, "Label2", this};
    TButton Button1{this, "Button1", this};
    void FormCreate();
    void Button1Click();
    void Label2Click();
};

inline constexpr const char* kMakerSiteUrl = "https://orvalis.example.org/";

class TForm_settings : public TForm {
public:
    TForm_settings();
    std::string ClassName() const override { return "TForm_settings"; }
    TLabeledEdit LabeledEdit1{this, "LabeledEdit1", this};
    TButton BitBtn1{this, "BitBtn1", this};
    TButton BitBtn2{this, "BitBtn2", this};
    void LabeledEdit1Change();
    void BitBtn1Click();
    void BitBtn2Click();
};

// The version dialog made once by the entry point; null before.
TForm_about* Form_about();
void SetForm_about(TForm_about* form);

}  // namespace orv

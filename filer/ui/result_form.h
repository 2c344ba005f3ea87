// The pair window of filer: one pair (mode 1) or every pair of the run log
// (mode 2) side by side, source left and target right, with tool buttons
// that send either file to the trash, erase it or move it to a folder. When
// it closes it writes the answer Result.dat and its own settings.
#pragma once

#include <string>

#include "filer/core/pair_data.h"
#include "filer/core/result_file.h"
#include "platform/ui/forms.h"
#include "platform/ui/list_view.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/tool_bar.h"
#include "widgets/folder_dialog.h"
#include "widgets/visual_panel3d.h"

namespace orv {

inline constexpr const char* kResultCaption = "処理選択";
inline constexpr const char* kHandledOrDeleted = "処理済又はユーザー削除";
inline constexpr const char* kBadMoveFolder = "対象フォルダが正しくありません。正しいフォルダを指定してください";
inline constexpr const char* kLoadFailed = "の読込で予期せぬエラーが発生";

class TForm_Result : public TForm {
public:
    // Works on data (the hand-over) and the files of appDir; runs FormCreate.
    TForm_Result(TPairData& data, std::string appDir);
    ~TForm_Result() override;
    std::string ClassName() const override { return "TForm_Result"; }

    // ---- components (parents first)
    TVisualPanel3D VisualPanel3D1{this, "VisualPanel3D1", this};
    TLabeledEdit LabeledEdit1{this, "LabeledEdit1", &VisualPanel3D1};
    TButton But_san{this, "But_san", &VisualPanel3D1};
    TButton but_stop{this, "but_stop", &VisualPanel3D1};
    TButton But_Close{this, "But_Close", &VisualPanel3D1};

    TVisualPanel3D VisualPanel3D2{this, "VisualPanel3D2", this};
    TLabel Label_L{this, "Label_L", &VisualPanel3D2};
    TToolBar ToolBar_L{this, "ToolBar_L", &VisualPanel3D2};
    TToolButton TBL_NEX{this, "TBL_NEX", &ToolBar_L};
    TToolButton TBL_RES{this, "TBL_RES", &ToolBar_L};
    TToolButton TBL_DEL{this, "TBL_DEL", &ToolBar_L};
    TToolButton TBL_MOVE{this, "TBL_MOVE", &ToolBar_L};
    TImage Image_L{this, "Image_L", &VisualPanel3D2};

    TVisualPanel3D VisualPanel3D3{this, "VisualPanel3D3", this};
    TLabel Label_R{this, "Label_R", &VisualPanel3D3};
    TToolBar ToolBar_R{this, "ToolBar_R", &VisualPanel3D3};
    TToolButton TBR_NEX{this, "TBR_NEX", &ToolBar_R};
    TToolButton TBR_RES{this, "TBR_RES", &ToolBar_R};
    TToolButton TBR_DEL{this, "TBR_DEL", &ToolBar_R};
    TToolButton TBR_MOVE{this, "TBR_MOVE", &ToolBar_R};
    TImage Image_R{this, "Image_R", &VisualPanel3D3};

    TFolderDialog FolderDialog1{this, "FolderDialog1"};
    TImageList ImageList1{this, "ImageList1", 24, 24};
    TTimer Timer1{this, "Timer1"};

    // ---- handlers
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormResize();
    void Timer1Timer();
    void But_CloseClick();
    void But_sanClick();
    void LabeledEdit1Change();
    void but_stopClick();
    void TBL_NEXClick();
    void TBR_NEXClick();
    void TBL_RESClick(TObject* sender);
    void TBL_DELClick(TObject* sender);
    void TBL_MOVEClick(TObject* sender);

    // ---- work
    void LoadPicture();
    void SetInfo();
    void LoadIni();
    void SaveIni();
    void SaveResText();

    // Stretch off only for a picture smaller than the image both ways.
    static void ApplyStretch(TImage& image);

    bool StopRequested() const { return stopRequested_; }
    TPairData& Data() { return data_; }

private:
    void BuildLayout();
    void LoadToolImages();
    // Shows one side; shown receives the file as shown (Known false when
    // none was, or it changed while it was loaded).
    void LoadSide(const PairFile& file, TLabel& label, TImage& image, TVisualPanel3D& panel, TFileStamp& shown);
    // The side's texts; a path too long for the label is cut in the middle,
    // keeping its file name, and shown whole as the label's tool tip.
    void ShowSideText(const PairFile& file, TLabel& label);
    // One of the three actions on side (0 source, 1 target) of the shown pair.
    void RunAction(TPairAction action, TObject* sender);
    void AfterAction();

    TPairData& data_;
    std::string appDir_;
    bool shown_ = false;
    // The files of the pair as the window shows them: an action takes only
    // the file as it was shown.
    TFileStamp shownL_, shownR_;
    bool stopRequested_ = false;
    bool answered_ = false;
};

// Modes 1 and 2: makes the application and the window and runs until it
// closes. Answers the exit code.
int RunPairWindow(int& argc, char** argv, TPairData& data, const std::string& appDir);

}  // namespace orv

// The values tests/data/persist/make_golden.py renders into the golden files
// (project.ovp, project.ovl, fresh.ini, Setting0.dat), shared by the tests of
// the stored files.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/engine/project_file.h"
#include "search/engine/setting_sets.h"
#include "search/engine/settings_file.h"

namespace orv::test {

inline const std::string kPersistData = std::string(ORV_TEST_DATA) + "/persist/";

inline TProjectData GoldenProject() {
    TProjectData p;
    p.Sources = {"/pics/旅行/", "/pics/a.jpg"};
    p.Handling.SizeMode = TSizeMode::AnySize;
    p.Handling.SyoriMode = TSyoriMode::AfterRun;
    p.Handling.SelTgt = TSelTgt::LargerImage;
    p.Handling.NearMode = TNearMode::Source;
    p.Handling.DoAction = TPairAction::Move;
    p.Handling.SubFolder = true;
    p.Handling.OneEnd = false;
    p.Handling.TgtDir = "/移動先/";
    p.LogRows = {
        {"/pics/旅行/x.jpg", " 1,234", "2024/01/02 3:04:05", "80", "60", "/pics/a.jpg", " 987", "2024/01/02", "80",
         "60", "比較元のファイルをゴミ箱に移動しました"},
        {"/pics/b.png", " 10", "2023/12/31 23:59:59", "1", "2", "/pics/c.png", " 20", "2023/12/31", "3", "4", ""},
    };
    return p;
}

inline const std::vector<std::string> kGoldenProgress = {"/pics/旅行/x.jpg", "/pics/b.png", "/pics/c.png"};

inline void ExpectSameProject(const TProjectData& a, const TProjectData& b) {
    EXPECT_EQ(a.Sources, b.Sources);
    EXPECT_EQ(a.Targets, b.Targets);
    EXPECT_TRUE(a.Handling == b.Handling);
    EXPECT_EQ(a.LogRows, b.LogRows);
}

inline TIniSettings GoldenSettings() {
    TIniSettings s;
    s.Left = 10;
    s.Top = 20;
    s.Width = 800;
    s.Height = 600;
    s.FilesL = "/h/fl/";
    s.FilesR = "/h/fr/";
    s.DirL = "/h/dl/";
    s.DirR = "/h/dr/";
    s.Project = "/h/プロジェクト/";
    s.Log = "/h/log/";
    s.MoveDir = "/h/mv/";
    s.WorkDir = "/tmp/w";
    s.FindSound = "/app/Sound/Comp.wav";
    s.EndSound = "/app/Sound/Beep.wav";
    s.Preview = true;
    s.Chach = 5000;
    s.Par = 90;
    s.DoFindSound = false;
    s.ListIcon = false;
    for (int i = 0; i < 10; ++i) s.ListWidths[static_cast<std::size_t>(i)] = 100 + i;
    return s;
}

inline TSettingSet GoldenSet() {
    TSettingSet s;
    s.Name = "写真 Set";
    s.SubFolder = true;
    s.OneEnd = false;
    s.SizeMode = TSizeMode::SameSize;
    s.SyoriMode = TSyoriMode::Automatic;
    s.SelTgt = TSelTgt::NewerDate;
    s.DoAction = TPairAction::Move;
    s.NearMode = TNearMode::Target;
    s.TgtDir = "/h/移動/";
    return s;
}

}  // namespace orv::test

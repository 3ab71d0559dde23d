#pragma once
// For the tests that drive the program as a whole: its windows wired as the program wires them,
// and a closer of the dialogs and menus the commands open.

#include "data/DataModule.h"
#include "ui/common/FormMsg.h"
#include "ui/main/FormMap.h"
#include "ui/main/ObjectListLink.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/search/FormObjList.h"

#include "AtlasWriter.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

struct Program {
  explicit Program(TDataModuleVANDREL& data)
      : Form(data), Info(data, &Form), List(data, *Form.Map, &Form), Msg(data, &Form) {
    Form.SetSelectInfo(&Info);
    Form.SetFormMsg(&Msg);
    ConnectObjectList(List, Form, Info);
  }
  TFormMap Form;
  TFormSelectInfo Info;
  TFormObjList List;
  TFormMsg Msg;
};

// Closes every modal window (and, when asked, every pop-up menu) as soon as it shows.
class DialogCloser {
public:
  DialogCloser(int intervalMs, bool popups) {
    Timer.setInterval(intervalMs);
    QObject::connect(&Timer, &QTimer::timeout, [popups] {
      if (QWidget* popup = QApplication::activePopupWidget(); popup && popups) popup->close();
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    Timer.start();
  }
  void Stop() { Timer.stop(); }

private:
  QTimer Timer;
};

// The main window, shown, on a demo atlas of its own; `prepare` may change the atlas's files
// before the window opens them.
struct DemoMainWindow {
  explicit DemoMainWindow(int width, int height,
                          const std::function<void(const QString&)>& prepare = {}) {
    demo::WriteAtlas(Atlas.path(), 1, 9);
    if (prepare) prepare(Atlas.path());
    Data = std::make_unique<TDataModuleVANDREL>(ProgramDir.path(), 0, Atlas.path());
    Form = std::make_unique<TFormMap>(*Data);
    Form->resize(width, height);
    Form->show();
    Exposed = QTest::qWaitForWindowExposed(Form.get());
  }
  QTemporaryDir ProgramDir, Atlas;
  std::unique_ptr<TDataModuleVANDREL> Data;
  std::unique_ptr<TFormMap> Form;
  bool Exposed = false;
};

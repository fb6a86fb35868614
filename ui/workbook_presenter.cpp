#include "ui/workbook_presenter.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QtDebug>

#include "ui/workbook_window.h"

namespace corvane {

WorkbookWindowPresenter::WorkbookWindowPresenter(std::shared_ptr<WorkbookPrompts> prompts)
    : prompts_(prompts ? std::move(prompts) : std::make_shared<DialogPrompts>()) {}

void WorkbookWindowPresenter::present(std::shared_ptr<Application> app) {
  auto open = [app, prompts = prompts_] {
    try {
      auto* window = new WorkbookWindow(app, prompts);
      window->show();
      window->raise();
      window->activateWindow();
    } catch (const AutomationError& e) {
      qWarning("Corvane: nothing to show: %s", e.what());
    }
  };
  // Windows belong to the thread of the event loop; a merge run elsewhere hands over.
  if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread())
    QMetaObject::invokeMethod(QCoreApplication::instance(), open, Qt::QueuedConnection);
  else
    open();
}

}  // namespace corvane

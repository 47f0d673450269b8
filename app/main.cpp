// The program entry: the application object, the data module, the main window, the event loop.
#include <memory>

#include "ErrorReport.h"
#include "ExecutablePath.h"
#include "FileRegistry.h"
#include "MainForm.h"
#include "TavrinReserveGuestDM.h"

int main(int argc, char** argv)
{
    selvo::ui::SelvoApplication application(argc, argv);
    const selvo::FileRegistry registry;

    // The data module first: the window uses it from its creation on, and it goes last.
    selvo::data::TTavrinReserveGuestDM TavrinReserveGuestDM;
    // Creating the window runs FormCreate: settings, connection, the two lists, the work mode.
    // The executable's path is looked up there too: without /proc it is a settings failure.
    auto MainForm = std::make_unique<selvo::ui::TMainForm>(
        TavrinReserveGuestDM, [] { return selvo::ExecutablePath(); }, registry);
    QObject::connect(MainForm.get(), &selvo::ui::TMainForm::Closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    MainForm->ShowCentred();
    const int result = application.exec();
    MainForm.reset();
    return result;
}

#include "service/DesktopRunPlace.h"

#include "service/StateFolder.h"

DesktopRunPlace::DesktopRunPlace(QObject* context, std::function<void()> checkNow)
{
    const QString folder = StateFolder::chosen({}, StateFolder::For::Run);
    requests_ = ServiceSignals::install(ServiceSignals::HangUp::LeftAlone, folder);
    QObject::connect(requests_.get(), &ServiceSignals::checkRequested, context, std::move(checkNow));
    QString problem;
    if (StateFolder::refusal(folder, StateFolder::For::Run).isEmpty() && StateFolder::make(folder))
        marker_ = RunMarker::take(folder, &problem);
}

DesktopRunPlace::~DesktopRunPlace()
{
    if (marker_)
        marker_->orderlyEnd();
}

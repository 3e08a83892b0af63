#include "core/MainLoop.h"

#include "core/LoadConfig.h"
#include "core/Tessaro.h"
#include "devices/StatusFiles.h"
#include "drivers/serial/DevicePorts.h"
#include "platform/Console.h"

MainLoop::MainLoop(Tessaro& t, uint16_t port, int waitMs)
    : t_(t), listenPort_(port), waitMs_(waitMs), commandPort_(t) {}

int MainLoop::startUp() {
  LoadConfig(t_);
  t_.console.printf("\nSTART\n");
  t_.readClock();
  LastMinute = 0;
  t_.SlowId = 0;
  t_.SlowDataNew = false;
  t_.startTimeSwitch();

  switch (commandPort_.open(listenPort_)) {
    case ListenResult::Ok: break;
    case ListenResult::StartupFailed: t_.console.printf("WSAStartup fehlgeschlagen\n"); return 1;
    case ListenResult::SocketFailed: t_.console.printf("Fehler Funktion socket\n"); return 1;
    case ListenResult::BindFailed: t_.console.printf("Fehler Funktion bind\n"); return 1;
    case ListenResult::ListenFailed: t_.console.printf("Fehler Funktion listen\n"); return 1;
  }

  ComInit(t_);
  OpenAllDevicePorts(t_);
  ApplyConfiguredModes(t_);
  FirstPassDone = false;
  t_.log.LogEvent(0, "Tessaro gestartet");
  return 0;
}

bool MainLoop::pass() {
  t_.readClock();
  const std::tm& now = t_.CurrentTime.local;

  if (now.tm_wday != LastWeekday) {
    LastWeekday = now.tm_wday;
    if (FirstPassDone) t_.log.LogEvent(LogSink::kDayHeader, "%s", "");
  }
  commandPort_.serve(waitMs_);
  if (now.tm_min != LastMinute) {
    LastMinute = now.tm_min;
    MinuteTick(t_);
  }
  if (now.tm_sec != LastSecond) {
    LastSecond = now.tm_sec;
    secondTick();
  }
  if (t_.eventLog.LogChanged) {
    t_.eventLog.LogChanged = false;
    t_.eventLog.RefreshMessageList();
    t_.MarkSlowData();
  }
  writeStatusFiles();
  const bool goOn = !endRequested();
  FirstPassDone = true;
  return goOn;
}

void MinuteTick(Tessaro& t) {
  t.devices.forEach([&](TessaroDev& d) {
    if (d.do_EveryMinute() != 0) t.MarkSlowData();
  });
  if (t.timeSwitch->minuteTick(t.CurrentTime.local) != 0) t.MarkSlowData();
  if (CountDownTimers(t) != 0) t.MarkSlowData();
  if (WriteAllOutputs(t)) t.MarkSlowData();
  SuperviseComPorts(t);
}

void MainLoop::secondTick() {
  t_.devices.forEach([&](TessaroDev& d) {
    if (d.do_EverySecond() != 0) t_.MarkSlowData();
  });
}

void MainLoop::writeStatusFiles() {
  if (t_.SlowDataNew) {
    t_.SlowDataNew = false;
    // Years of slow writes run past INT32_MAX: the count wraps, as readers
    // only compare it for a change.
    t_.SlowId = static_cast<int32_t>(static_cast<uint32_t>(t_.SlowId) + 1u);
    WriteFastXml(t_);
    WriteSlowXml(t_);
  } else {
    WriteFastXml(t_);
  }
}

// One waiting key per pass is read; ESC (27) or a stop signal ends the loop.
bool MainLoop::endRequested() {
  return t_.console.readKey() == 27 || t_.console.stopRequested();
}

void MainLoop::shutDown() {
  CloseAllDevicePorts(t_);
  ComCloseAll(t_);
  t_.log.LogEvent(0, "Tessaro beendet");
}

int MainLoop::run() {
  if (const int status = startUp(); status != 0) return status;
  while (pass()) {
  }
  shutDown();
  return 0;
}

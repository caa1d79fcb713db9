#pragma once

// The numbers the window and the core agree on: window messages, menu command ids,
// virtual-key codes and screen numbers. Each is defined here and nowhere else.

// Window messages WindowProc dispatches.
namespace msg {
constexpr unsigned create = 1;
constexpr unsigned destroy = 2;
constexpr unsigned size = 5;
constexpr unsigned paint = 15;
constexpr unsigned notify = 78;
constexpr unsigned keyDown = 256;
constexpr unsigned command = 273;
constexpr unsigned timer = 275;
constexpr unsigned menuSelect = 287;
constexpr unsigned mouseMove = 512;
constexpr unsigned leftButtonDown = 513;
constexpr unsigned rightButtonDown = 516;
constexpr unsigned udpSocket = 961;
}  // namespace msg

// Menu command ids (message 273's low word).
namespace menu {
constexpr int changeCommPort = 119;
constexpr int closeComm = 120;
constexpr int openComm = 121;
constexpr int writeLogFile = 122;
constexpr int saveRadioSettings = 123;
constexpr int showNames = 124;
constexpr int showSerialNumbers = 125;
constexpr int rssiDbuv = 126;
constexpr int rssiRegular = 127;
constexpr int changeEprom = 128;
constexpr int changeIpAddress = 129;
constexpr int connectTcp = 130;
constexpr int closeTcpUdp = 131;
constexpr int metricUnits = 132;
constexpr int americanUnits = 133;
constexpr int resetDisconnectCount = 134;
constexpr int saveAllRadioSettings = 135;
constexpr int screen0 = 140;  // 140..144 show Screen0..Graphics4
constexpr int screen1 = 141;
constexpr int screen2 = 142;
constexpr int graphics3 = 143;
constexpr int graphics4 = 144;
constexpr int connectUdp = 150;
constexpr int locateRadio = 151;
constexpr int setPollInterval = 152;
constexpr int exportGraph = 160;
constexpr int exportHistory = 161;
constexpr int connectDialup = 200;
constexpr int randomMode = 201;
constexpr int sequentialMode = 202;
constexpr int pollRadioValue = 203;
constexpr int writeCsvFile = 204;
constexpr int newNetwork = 3072;  // 3072..3081 have status-bar help
constexpr int openNetworkFile = 3073;
constexpr int close = 3074;
constexpr int saveNetworkFile = 3075;
constexpr int exit = 3076;
constexpr int deleteRadio = 3077;
constexpr int pollRadio = 3078;
constexpr int addRadio = 3079;
constexpr int help = 3080;
constexpr int about = 3081;
}  // namespace menu

// Virtual-key codes (message 256's wParam).
namespace key {
constexpr int enter = 13;
constexpr int escape = 27;
constexpr int space = 32;
constexpr int pageUp = 33;
constexpr int pageDown = 34;
constexpr int left = 37;
constexpr int up = 38;
constexpr int right = 39;
constexpr int down = 40;
constexpr int digit0 = 48;  // 48..57 the digits
constexpr int digit4 = 52;
constexpr int letterA = 65;  // 65..90 the letters
constexpr int letterC = 67;
constexpr int letterD = 68;
constexpr int letterF = 70;
constexpr int letterN = 78;
constexpr int letterP = 80;
constexpr int letterR = 82;
constexpr int letterS = 83;
constexpr int letterW = 87;
constexpr int keypad0 = 96;  // 96..105 the keypad digits
constexpr int keypad4 = 100;
constexpr int keypadPlus = 107;
constexpr int keypadMinus = 109;
constexpr int f1 = 112;
constexpr int plus = 187;
constexpr int minus = 189;
}  // namespace key

// DisplayOptions::screenNumber.
namespace screen {
constexpr int screen0 = 0;  // every radio's signal, noise, packets, path
constexpr int screen1 = 1;  // identity, firmware, temperature, voltage, lines
constexpr int screen2 = 2;  // the selected radio's setup parameters
constexpr int graphics3 = 3;
constexpr int graphics4 = 4;
}  // namespace screen

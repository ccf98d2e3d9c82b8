// A cockpit board for tarvos-mqtt: an ESP32 on the home network that
// subscribes to one topic, the autopilot's heading bug, and shows it on a
// four-digit TM1637 display. NOT BUILT HERE: build it with the Arduino IDE
// or arduino-cli for an ESP32 board, with the PubSubClient and TM1637
// libraries installed.
//
// tarvos-mqtt publishes the value retained, as plain decimal text in the
// name's unit ("268.0"), so the board gets the current heading as soon as
// it subscribes and atof() reads it.
#include <PubSubClient.h>
#include <TM1637Display.h>
#include <WiFi.h>

const char* kWifiName = "cockpit";
const char* kWifiPassword = "change-me";
const char* kBroker = "192.168.1.10";  // the machine running Mosquitto
const char* kTopic = "tarvos/autopilot/heading";

WiFiClient network;
PubSubClient mqtt(network);
TM1637Display display(/*clk=*/18, /*dio=*/19);

void OnMessage(char* topic, byte* payload, unsigned int length) {
  char text[16];
  if (length >= sizeof text) return;
  memcpy(text, payload, length);
  text[length] = '\0';
  display.showNumberDec(static_cast<int>(atof(text) + 0.5) % 360, true, 3, 1);
}

void setup() {
  display.setBrightness(4);
  WiFi.begin(kWifiName, kWifiPassword);
  while (WiFi.status() != WL_CONNECTED) delay(250);
  mqtt.setServer(kBroker, 1883);
  mqtt.setCallback(OnMessage);
}

void loop() {
  if (!mqtt.connected()) {
    // Each board its own client id; try again every two seconds.
    String id = "board-" + String(static_cast<uint32_t>(ESP.getEfuseMac()), HEX);
    if (mqtt.connect(id.c_str())) {
      mqtt.subscribe(kTopic);
    } else {
      delay(2000);
      return;
    }
  }
  mqtt.loop();
}

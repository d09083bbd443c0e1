// A real SMS gateway for the tests: bearerbox and smsbox of the installed
// Kannel, configured from the installed example configuration, on free
// ports of 127.0.0.1, in a temporary folder of their own.
//
//   KannelGateway gateway;
//   ASSERT_TRUE(gateway.Start(home.path(), {kOwner, kOwnerPassword}, &error)) << error;
//   phones.Connect(gateway.fake_smsc_port(), ...);
//   ... gateway.ExecErrorLines() ...
//
// The destructor kills and reaps both boxes and removes the folder.
#ifndef KANNEL_KANNEL_GATEWAY_H_
#define KANNEL_KANNEL_GATEWAY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/temp_dir.h"

constexpr char kBearerboxProgram[] = "/usr/sbin/bearerbox";
constexpr char kSmsboxProgram[] = "/usr/sbin/smsbox";

// Where the test's fixture installed the build (cmake --install).
std::string InstalledPrefix();

// A SubmissionURL for HOLLIN.INI naming a sendsms interface on `port` of
// 127.0.0.1, with the group owner's account as username and password.
std::string SendsmsUrl(uint16_t port);

// A loopback port that nothing listens on (it was free a moment ago).
uint16_t ClosedPort();

struct GatewayOptions {
  std::string sendsms_user;  // the sendsms-user's username and password
  std::string sendsms_password;
  std::string black_list_regex;  // recipients it refuses; empty for none
};

class KannelGateway {
 public:
  KannelGateway() = default;
  KannelGateway(const KannelGateway&) = delete;
  KannelGateway& operator=(const KannelGateway&) = delete;

  // Writes the configuration and starts bearerbox, then smsbox with
  // KAVREL_HOME = `home` in its environment. False with the reason in
  // *error. The boxes may still be starting on return: the phones' Connect
  // and a first Sync wait for them.
  bool Start(const std::string& home, const GatewayOptions& options, std::string* error);

  uint16_t fake_smsc_port() const { return fake_smsc_port_; }
  // SendsmsUrl of this gateway's sendsms interface.
  std::string SubmissionUrl() const { return SendsmsUrl(sendsms_port_); }
  // The lines the exec services wrote to their standard error, which smsbox
  // hands on to its own.
  std::vector<std::string> ExecErrorLines() const;

 private:
  bool PickPorts(std::string* error);
  bool WriteConfig(const GatewayOptions& options, std::string* error) const;

  TempDir folder_;
  uint16_t admin_port_ = 0;
  uint16_t box_port_ = 0;
  uint16_t fake_smsc_port_ = 0;
  uint16_t sendsms_port_ = 0;
  // Declared last: killed before the folder goes.
  platform::Child bearerbox_;
  platform::Child smsbox_;
};

#endif  // KANNEL_KANNEL_GATEWAY_H_

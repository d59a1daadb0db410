// What the framework knows of its host: which interface the adapter implements, which host
// application it runs in, and the host's musical time.
#pragma once

// The host interface an adapter implements; the Audio Unit one is 2.
enum EAPI { kAPIUnknown = 0, kAPIAU = 2, kAPICommandLine = 3, kAPILV2 = 4 };

enum EHost {
  kHostUninit = -1,
  kHostUnknown = 0,
  kHostReaper,
  kHostLogic,
  kHostGarageBand,
  kHostAbletonLive,
  kHostArdour,
  kHostAuval,
  kHostQuillmar,
};

// Finds a known host by a case-insensitive part of its name; kHostUnknown otherwise.
EHost LookUpHost(const char* name);

// The host's transport as a time query fills it; anything the host does not supply stays 0.
struct ITimeInfo {
  double mTempo = 0.0;
  double mSamplePos = 0.0;
  double mPPQPos = 0.0;
  int mNumerator = 0;
  int mDenominator = 0;
  bool mTransportIsRunning = false;
  bool mTransportIsRecording = false;
};

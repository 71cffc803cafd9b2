// TSleepAndNetwork: the store follows the machine's sleep and wake and the network's comings and
// goings, so that the mail connections end before a sleep and come back at once after it.
#pragma once

#include "platform/NetworkWatch.h"
#include "platform/SleepWatch.h"

class TMessageStore;

class TSleepAndNetwork {
  public:
    // Made before the store starts, so that a store started without a network waits for it.
    explicit TSleepAndNetwork(TMessageStore& store);

  private:
    TSleepWatch FSleep;
    TNetworkWatch FNetwork;
};

// TSleepAndNetwork: sleep, wake and the network's reachability, told to the store.
#include "app/SleepAndNetwork.h"

#include "store/MessageStore.h"

TSleepAndNetwork::TSleepAndNetwork(TMessageStore& store) {
    QObject::connect(&FSleep, &TSleepWatch::Sleeping, &store, &TMessageStore::MachineSleeps);
    QObject::connect(&store, &TMessageStore::ConnectionsEnded, &FSleep, &TSleepWatch::ReadyToSleep);
    QObject::connect(&FSleep, &TSleepWatch::Woke, &store, &TMessageStore::MachineWoke);
    QObject::connect(&FNetwork, &TNetworkWatch::Lost, &store, &TMessageStore::NetworkLost);
    QObject::connect(&FNetwork, &TNetworkWatch::Back, &store, &TMessageStore::NetworkBack);
    if (FNetwork.Down())
        store.NetworkLost();
}

// Service-proxy fetches that concurrent callers share. While the request
// for a key is unanswered, a later caller of the same key waits for that
// answer instead of sending a request of its own (which the backend would
// refuse or answer twice). Every waiter gets the answer, or its failure.
//
// Waiting callers are nested on the host's stack: each one awaits its own
// future, and the answer fulfils them all when it arrives, whichever is
// innermost.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/service_proxy.h"

namespace Quarn::Client::Collections {

template <class Key, class T>
class SharedFetches {
 public:
  // Joins the fetch of `key` in flight, or starts it with
  // `start(AppModule::ServiceProxyCallback)`, which returns "" once sent or
  // the error text (AppModule::ServiceProxyRequest). Awaits the answer.
  // [re-entrant: other callbacks may run before this returns]
  template <class Start>
  Maybe<T> Join(AppModule& module, const Key& key, Start&& start) {
    std::shared_ptr<Flight>& slot = flights_[key];
    auto promise = std::make_shared<Promise<T>>();
    Future<T> future = promise->get_future();
    if (slot && !slot->done) {
      slot->waiters.push_back(std::move(promise));
      return module.Await(std::move(future));
    }
    auto flight = std::make_shared<Flight>();
    slot = flight;
    flight->waiters.push_back(std::move(promise));
    const BindingRegistry& registry = module.registry();
    // Sending may step the host: others may join before it returns.
    const std::string error =
        start([flight, &registry](const PluginServiceProxyResponse& answer) {
          flight->Finish(ServiceProxyResult<T>(answer, registry));
        });
    if (!error.empty()) flight->Finish(Failure(error));
    return module.Await(std::move(future));
  }

 private:
  struct Flight {
    bool done = false;
    std::vector<std::shared_ptr<Promise<T>>> waiters;

    // Runs under the module lock (a service-proxy callback): no requests.
    void Finish(const Maybe<T>& result) {
      if (done) return;
      done = true;
      for (const auto& waiter : std::exchange(waiters, {})) waiter->set_value(result);
    }
  };

  // Answered flights stay until their key is fetched again; there is one
  // key per summoner at most.
  std::map<Key, std::shared_ptr<Flight>> flights_;
};

}  // namespace Quarn::Client::Collections

#include "instance_link.h"

#include "pluginterfaces/base/smartpointer.h"

#include <map>
#include <mutex>
#include <random>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace QuenrilEQ {

namespace {

struct Registry
{
	std::mutex mutex;
	std::map<std::int64_t, std::weak_ptr<InstanceShared>> objects;
	std::mt19937_64 numbers {std::random_device {}()};
};

Registry& registry ()
{
	static Registry r;
	return r;
}

} // namespace

InstanceRegistration::InstanceRegistration (std::shared_ptr<InstanceShared> object)
{
	Registry& r = registry ();
	std::lock_guard<std::mutex> lock (r.mutex);
	// Random, so that an identifier arriving from another process (a host
	// relaying messages between sandboxes) names nothing here.
	do
		identifier = static_cast<std::int64_t> (r.numbers () >> 1);
	while (identifier == 0 || r.objects.count (identifier));
	r.objects.emplace (identifier, object);
}

InstanceRegistration::~InstanceRegistration ()
{
	Registry& r = registry ();
	std::lock_guard<std::mutex> lock (r.mutex);
	r.objects.erase (identifier);
}

std::shared_ptr<InstanceShared> findInstance (std::int64_t id)
{
	Registry& r = registry ();
	std::lock_guard<std::mutex> lock (r.mutex);
	auto found = r.objects.find (id);
	return found == r.objects.end () ? nullptr : found->second.lock ();
}

tresult sendInstanceMessage (const ComponentBase& from, const char* messageId, const char* attribute, int64 value)
{
	if (!from.getPeer ())
		return kResultFalse;
	IPtr<IMessage> message = owned (from.allocateMessage ());
	if (!message)
		return kResultFalse;
	message->setMessageID (messageId);
	if (attribute)
		if (IAttributeList* attributes = message->getAttributes ())
			attributes->setInt (attribute, value);
	return from.sendMessage (message);
}

int64 messageInteger (IMessage* message, const char* attribute, int64 fallback)
{
	int64 value = fallback;
	IAttributeList* attributes = message ? message->getAttributes () : nullptr;
	if (!attributes || attributes->getInt (attribute, value) != kResultOk)
		return fallback;
	return value;
}

} // namespace QuenrilEQ

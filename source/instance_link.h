// What a processor shares with the controller of the same plug-in instance,
// and how the controller finds it. Hosts connect the two (IConnectionPoint);
// the processor sends the identifier of its shared object over that
// connection and the controller looks it up in this process's registry. A
// controller in another process (hosts that sandbox plug-ins) or without a
// connection finds nothing, and its editor falls back to the process-wide
// rings. Either side may terminate or go first: whoever still holds the
// object keeps it alive.
#pragma once

#include "instance_capture.h"

#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/vstcomponentbase.h"

#include <cstdint>
#include <memory>

namespace QuenrilEQ {

/** Processor -> controller: attribute kLinkIdAttribute names the processor's
    InstanceShared in this process's registry. */
constexpr const char* kInstanceLinkMessage = "QuenrilEQ.instanceLink";
/** Controller -> processor: please send kInstanceLinkMessage. */
constexpr const char* kLinkRequestMessage = "QuenrilEQ.linkRequest";
/** Controller -> processor: audition the band in kBandAttribute (0-based),
    -1 to end; the same band again renews the audition. */
constexpr const char* kAuditionMessage = "QuenrilEQ.audition";
constexpr const char* kLinkIdAttribute = "id";
constexpr const char* kBandAttribute = "band";

/** What the processor shares. */
struct InstanceShared
{
	InstanceCapture capture;
};

/** Keeps an object findable by its identifier while this handle lives. [UI thread] */
class InstanceRegistration
{
public:
	explicit InstanceRegistration (std::shared_ptr<InstanceShared> object);
	~InstanceRegistration ();
	InstanceRegistration (const InstanceRegistration&) = delete;
	InstanceRegistration& operator= (const InstanceRegistration&) = delete;

	std::int64_t id () const { return identifier; }

private:
	std::int64_t identifier;
};

/** The registered object, or null (unknown identifier: another process, or
    a processor that has gone). [any thread] */
std::shared_ptr<InstanceShared> findInstance (std::int64_t id);

/** Sends a message with one integer attribute (or none, when attribute is
    null) to the peer; kResultOk when the peer took it. [UI thread] */
Steinberg::tresult sendInstanceMessage (const Steinberg::Vst::ComponentBase& from, const char* messageId,
                                        const char* attribute = nullptr, Steinberg::int64 value = 0);

/** The message's integer attribute, or fallback. */
Steinberg::int64 messageInteger (Steinberg::Vst::IMessage* message, const char* attribute,
                                 Steinberg::int64 fallback);

} // namespace QuenrilEQ

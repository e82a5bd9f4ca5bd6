#include "controller_parameters.h"

#include "parameters.h"

#include "pluginterfaces/base/ustring.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace QuenrilEQ {

namespace {
void toString128 (const std::string& text, String128 out)
{
	UString (out, 128).fromAscii (text.c_str ());
}
} // namespace

void registerParameters (ParameterContainer& container)
{
	for (const ParamSpec& spec : parameterTable ())
	{
		String128 title {};
		toString128 (spec.title, title);
		if (spec.kind == ParamKind::List)
		{
			auto* list = new StringListParameter (title, spec.id, nullptr,
			                                      ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
			for (const std::string& entry : spec.entries)
			{
				String128 e {};
				toString128 (entry, e);
				list->appendString (e);
			}
			list->setNormalized (spec.defaultNormalized);
			list->getInfo ().defaultNormalizedValue = spec.defaultNormalized;
			container.addParameter (list);
			continue;
		}
		String128 units {};
		toString128 (spec.units, units);
		container.addParameter (title, units, spec.stepCount, spec.defaultNormalized,
		                        ParameterInfo::kCanAutomate, static_cast<int32> (spec.id));
	}
}

} // namespace QuenrilEQ

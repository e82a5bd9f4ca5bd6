#include "controller_parameters.h"

#include "parameters.h"

#include "pluginterfaces/base/ustring.h"

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace QuenrilEQ {

namespace {
void toString128 (const std::string& text, String128 out)
{
	UString (out, 128).fromAscii (text.c_str ());
}

// A host may ask for the text of any double. The SDK's conversions index the
// entry list with it unchecked (a negative value throws) and print a
// continuous value into a fixed buffer without bounds (1e300 overruns it), so
// the text is formed from the value clamped to [0, 1] (NaN as 0). Values in
// range read exactly as the SDK shows them. No OBJ_METHODS: the objects keep
// answering to the SDK's class names.
ParamValue displayable (ParamValue normalized)
{
	return std::isnan (normalized) ? 0.0 : std::fmin (1.0, std::fmax (0.0, normalized));
}

class ClampedParameter : public Parameter
{
public:
	using Parameter::Parameter;
	void toString (ParamValue normalized, String128 string) const SMTG_OVERRIDE
	{
		Parameter::toString (displayable (normalized), string);
	}
};

class ClampedListParameter : public StringListParameter
{
public:
	using StringListParameter::StringListParameter;
	void toString (ParamValue normalized, String128 string) const SMTG_OVERRIDE
	{
		StringListParameter::toString (displayable (normalized), string);
	}
};
} // namespace

void registerParameters (ParameterContainer& container)
{
	for (const ParamSpec& param : parameterTable ())
	{
		String128 title {};
		toString128 (param.title, title);
		if (param.kind == ParamKind::List)
		{
			auto* list = new ClampedListParameter (title, param.id, nullptr,
			                                       ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
			for (const std::string& entry : param.entries)
			{
				String128 e {};
				toString128 (entry, e);
				list->appendString (e);
			}
			list->setNormalized (param.defaultNormalized);
			list->getInfo ().defaultNormalizedValue = param.defaultNormalized;
			container.addParameter (list);  // the container takes the reference of new
			continue;
		}
		String128 units {};
		toString128 (param.units, units);
		container.addParameter (new ClampedParameter (title, param.id, units, param.defaultNormalized,
		                                              param.stepCount, ParameterInfo::kCanAutomate));
	}
}

} // namespace QuenrilEQ

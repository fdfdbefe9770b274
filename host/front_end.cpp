#include "host/front_end.h"

#include "host/batch.h"
#include "host/platform.h"
#include "host/render.h"
#include "host/render_options.h"

Result RunFrontEnd(const FrontEnd& frontEnd, const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    RenderOptions options;
    const Result parsed = ParseRenderOptions(args, frontEnd, &options);
    if (!parsed.Ok()) {
        return parsed;
    }
    if (options.help) {
        std::fputs(RenderUsage(frontEnd).c_str(), out);
        return {};
    }
    if (options.version) {
        std::fputs(RenderVersion(frontEnd).c_str(), out);
        return {};
    }
    const std::unique_ptr<DeviceBinding> binding = frontEnd.makeBinding(options);
    const RunContext context = {frontEnd.program, binding.get(), out, err};
    if (!options.Batch()) {
        return RenderOne(options, context);
    }
    // Played files take their turns at the sound output, one after another.
    const int jobs = options.live.play || !frontEnd.offersJobs ? 1
                     : options.jobs > 0                        ? options.jobs
                                                               : ProcessorCount();
    return RunBatch(options, context, jobs);
}

int ExitWith(const Result& result, const std::string& program, std::FILE* err)
{
    if (!result.Ok() && !result.Message().empty()) {
        std::fprintf(err, "%s: %s\n", program.c_str(), result.Message().c_str());
    }
    return result.ExitStatus();
}
